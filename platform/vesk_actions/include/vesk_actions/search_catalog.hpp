#pragma once
// A search catalog over what applications publish: entries with a section,
// title, subtitle, keywords and the action address a pick resolves to.
//
// Matching is by normalised tokens (case and accents folded) and every word
// of a query must match: an exact token beats a token that the word being
// typed (the last, two characters or more) is a prefix of, which beats a near
// miss found through character trigrams. Entries are updated in place: a change costs
// work in proportion to the entry, never to the catalog. Readers share a lock;
// writers take it alone.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/result.hpp"

namespace vesk_actions {

// Lower case, accents removed, every run of non-alphanumerics one space,
// no leading or trailing space.
std::string normalize_search_text(std::string_view text);
// The words of a normalised text, each at most kMaxTokenBytes long.
std::vector<std::string> index_tokens(std::string_view normalized);
// Byte trigrams of a token padded with a boundary mark on each side.
std::vector<std::string> index_grams(std::string_view token);

inline constexpr std::size_t kMaxTokenBytes = 48;

struct SearchEntry {
  std::string section;
  std::string title;
  std::string subtitle;
  std::string keywords;
  std::string action_address;
  bool operator==(const SearchEntry&) const = default;
};

struct SearchResult {
  std::string section;
  std::string title;
  std::string subtitle;
  std::string action_address;
  std::uint32_t score = 0;
};

struct SearchPage {
  std::vector<SearchResult> results;
  std::size_t total = 0;
  // Absent on the last page. Cursors stop being current when the catalog
  // changes; a stale cursor is refused rather than silently skipping entries.
  std::optional<std::string> next_cursor;
};

struct SearchStats {
  std::size_t entries = 0;
  std::size_t tokens = 0;  // distinct tokens with at least one live entry
  std::size_t grams = 0;
  std::size_t postings = 0;
  std::size_t stale_postings = 0;
  std::uint64_t generation = 0;
};

class SearchCatalog {
 public:
  static constexpr std::size_t kMaxPageSize = 200;
  static constexpr std::size_t kMaxQueryWords = 8;

  // Inserts or replaces the entry with the same action address. Answers
  // whether anything changed: replaying an identical entry changes nothing
  // and leaves outstanding cursors current.
  bool insert(SearchEntry entry);
  // Drops the entry of a removed object; false when there was none.
  bool remove_postings(std::string_view action_address);
  void clear();

  // The first page when `cursor` is empty. Fails for a cursor of another
  // query or of an older catalog.
  base::Result<SearchPage> query_page(std::string_view query, std::string_view cursor,
                                      std::size_t limit) const;
  bool cursor_is_current(std::string_view cursor) const;
  SearchStats stats() const;
  std::size_t size() const;
  std::optional<SearchEntry> entry(std::string_view action_address) const;

 private:
  struct Posting {
    std::uint32_t slot;
    std::uint32_t stamp;  // two high bits: in the title, leading the title
  };
  struct Token {
    std::string text;
    std::vector<Posting> postings;
    std::uint32_t live = 0;
    std::uint32_t stale = 0;
  };
  struct Slot {
    SearchEntry entry;
    std::vector<std::uint32_t> tokens;  // token id << 2 | flags
    std::uint32_t stamp = 0;            // 0: free
    std::uint64_t sequence = 0;         // newer entries rank first among equals
  };
  struct WordMatch {
    std::vector<std::pair<std::uint32_t, std::uint8_t>> tokens;  // id, quality
    std::size_t cost = 0;
  };

  std::uint32_t intern(const std::string& token);
  void unlink(Slot& slot);
  void link(std::uint32_t slot_index);
  WordMatch match_word(const std::string& word, bool as_prefix) const;

  mutable std::shared_mutex mutex_;
  std::vector<Token> tokens_;
  std::map<std::string, std::uint32_t, std::less<>> dictionary_;
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> grams_;
  std::vector<Slot> slots_;
  // Copies of each slot's stamp and sequence, packed, for the query's scans.
  std::vector<std::uint32_t> stamps_;
  std::vector<std::uint64_t> sequences_;
  std::vector<std::uint32_t> free_slots_;
  std::unordered_map<std::string, std::uint32_t> by_address_;
  std::uint32_t next_stamp_ = 1;
  std::uint64_t next_sequence_ = 1;
  std::uint64_t generation_ = 1;
  std::size_t postings_ = 0;
  std::size_t stale_ = 0;
  std::size_t live_tokens_ = 0;
};

}  // namespace vesk_actions
