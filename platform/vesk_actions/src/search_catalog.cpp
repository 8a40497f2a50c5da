#include "vesk_actions/search_catalog.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <mutex>
#include <utility>

#include "base/random.hpp"

namespace vesk_actions {
namespace {

// Postings keep two flags above the stamp: the token is in the title, and it
// leads the title (names of channels and people are found by their start).
constexpr std::uint32_t kFlagShift = 30;
constexpr std::uint32_t kStampMask = (1u << kFlagShift) - 1;
constexpr std::uint32_t kInTitle = 2;
constexpr std::uint32_t kLeading = 1;
constexpr std::uint8_t kExact = 3;
constexpr std::uint8_t kPrefix = 2;
constexpr std::uint8_t kNear = 1;

std::uint32_t gram_key(std::string_view gram) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(gram[0])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(gram[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(gram[2]));
}

// Optimal-string-alignment distance, abandoned once it must exceed `bound`.
std::size_t bounded_distance(std::string_view a, std::string_view b, std::size_t bound) {
  if (a.size() > b.size() + bound || b.size() > a.size() + bound) return bound + 1;
  const std::size_t n = a.size(), m = b.size();
  std::vector<std::size_t> prev2(m + 1), prev(m + 1), cur(m + 1);
  for (std::size_t j = 0; j <= m; ++j) prev[j] = j;
  for (std::size_t i = 1; i <= n; ++i) {
    cur[0] = i;
    std::size_t row_min = cur[0];
    for (std::size_t j = 1; j <= m; ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        cur[j] = std::min(cur[j], prev2[j - 2] + 1);
      }
      row_min = std::min(row_min, cur[j]);
    }
    if (row_min > bound) return bound + 1;
    std::swap(prev2, prev);
    std::swap(prev, cur);
  }
  return prev[m];
}

// Per-thread scratch for queries: marks carry the query's stamp, so nothing is
// cleared between queries and readers on other threads share nothing.
struct Scratch {
  std::vector<std::uint32_t> slot_mark;
  std::vector<std::uint16_t> slot_score;
  std::vector<std::uint32_t> token_mark;
  std::vector<std::uint8_t> token_quality;
  std::vector<std::uint16_t> token_count;
  std::uint32_t stamp = 0;

  std::uint32_t next(std::size_t slots, std::size_t tokens) {
    if (slot_mark.size() < slots) {
      slot_mark.resize(slots, 0);
      slot_score.resize(slots, 0);
    }
    if (token_mark.size() < tokens) {
      token_mark.resize(tokens, 0);
      token_quality.resize(tokens, 0);
      token_count.resize(tokens, 0);
    }
    if (++stamp == 0) {
      std::fill(slot_mark.begin(), slot_mark.end(), 0);
      std::fill(token_mark.begin(), token_mark.end(), 0);
      stamp = 1;
    }
    return stamp;
  }
};

Scratch& scratch() {
  thread_local Scratch s;
  return s;
}

struct Cursor {
  std::uint64_t generation = 0;
  std::uint64_t query_hash = 0;
  std::size_t offset = 0;
};

std::string encode_cursor(const Cursor& c) {
  return "c1." + std::to_string(c.generation) + "." + std::to_string(c.query_hash) + "." +
         std::to_string(c.offset);
}

std::optional<Cursor> decode_cursor(std::string_view text) {
  if (text.substr(0, 3) != "c1.") return std::nullopt;
  text.remove_prefix(3);
  Cursor c;
  std::uint64_t* fields[] = {&c.generation, &c.query_hash};
  for (auto* field : fields) {
    const auto dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    auto [p, ec] = std::from_chars(text.data(), text.data() + dot, *field);
    if (ec != std::errc() || p != text.data() + dot) return std::nullopt;
    text.remove_prefix(dot + 1);
  }
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), c.offset);
  if (ec != std::errc() || p != text.data() + text.size()) return std::nullopt;
  return c;
}

}  // namespace

std::uint32_t SearchCatalog::intern(const std::string& token) {
  auto it = dictionary_.find(token);
  if (it != dictionary_.end()) return it->second;
  const auto id = static_cast<std::uint32_t>(tokens_.size());
  tokens_.push_back(Token{token, {}, 0, 0});
  dictionary_.emplace(token, id);
  for (const auto& gram : index_grams(token)) {
    auto& list = grams_[gram_key(gram)];
    if (list.empty() || list.back() != id) list.push_back(id);
  }
  return id;
}

void SearchCatalog::unlink(Slot& slot) {
  for (const auto packed : slot.tokens) {
    Token& token = tokens_[packed >> 2];
    --token.live;
    ++token.stale;
    ++stale_;
    if (token.live == 0) --live_tokens_;
    // Compacting once half a list is stale keeps removal amortised constant.
    if (token.stale > 8 && token.stale * 2 > token.postings.size()) {
      const auto before = token.postings.size();
      std::erase_if(token.postings, [&](const Posting& p) {
        return slots_[p.slot].stamp != (p.stamp & kStampMask) || &slots_[p.slot] == &slot;
      });
      const auto removed = before - token.postings.size();
      postings_ -= removed;
      stale_ -= std::min(stale_, removed);
      token.stale = 0;
    }
  }
  slot.tokens.clear();
  slot.stamp = 0;
  stamps_[static_cast<std::size_t>(&slot - slots_.data())] = 0;
}

void SearchCatalog::link(std::uint32_t slot_index) {
  Slot& slot = slots_[slot_index];
  slot.stamp = next_stamp_++;
  if (next_stamp_ > kStampMask) next_stamp_ = 1;  // 2^30 updates: wrap, stale stamps long gone
  slot.sequence = next_sequence_++;
  stamps_[slot_index] = slot.stamp;
  sequences_[slot_index] = slot.sequence;
  std::vector<std::uint32_t> packed;
  auto add = [&](std::string_view text, bool title) {
    bool first = true;
    for (const auto& t : index_tokens(normalize_search_text(text))) {
      const std::uint32_t flags = title ? (kInTitle | (first ? kLeading : 0)) : 0;
      packed.push_back(intern(t) << 2 | flags);
      first = false;
    }
  };
  add(slot.entry.title, true);
  add(slot.entry.subtitle, false);
  add(slot.entry.keywords, false);
  // One posting per token; the strongest occurrence wins.
  std::sort(packed.begin(), packed.end(), [](auto a, auto b) {
    return (a >> 2) != (b >> 2) ? (a >> 2) < (b >> 2) : (a & 3) > (b & 3);
  });
  packed.erase(std::unique(packed.begin(), packed.end(),
                           [](auto a, auto b) { return (a >> 2) == (b >> 2); }),
               packed.end());
  for (const auto p : packed) {
    Token& token = tokens_[p >> 2];
    if (token.live++ == 0) ++live_tokens_;
    token.postings.push_back(Posting{slot_index, slot.stamp | (p & 3) << kFlagShift});
    ++postings_;
  }
  slot.tokens = std::move(packed);
}

bool SearchCatalog::insert(SearchEntry entry) {
  std::unique_lock lock(mutex_);
  auto it = by_address_.find(entry.action_address);
  if (it != by_address_.end()) {
    Slot& slot = slots_[it->second];
    if (slot.entry == entry) return false;
    unlink(slot);
    slot.entry = std::move(entry);
    link(it->second);
  } else {
    std::uint32_t index;
    if (!free_slots_.empty()) {
      index = free_slots_.back();
      free_slots_.pop_back();
    } else {
      index = static_cast<std::uint32_t>(slots_.size());
      slots_.emplace_back();
      stamps_.push_back(0);
      sequences_.push_back(0);
    }
    by_address_.emplace(entry.action_address, index);
    slots_[index].entry = std::move(entry);
    link(index);
  }
  ++generation_;
  return true;
}

bool SearchCatalog::remove_postings(std::string_view action_address) {
  std::unique_lock lock(mutex_);
  auto it = by_address_.find(std::string(action_address));
  if (it == by_address_.end()) return false;
  Slot& slot = slots_[it->second];
  unlink(slot);
  slot.entry = {};
  free_slots_.push_back(it->second);
  by_address_.erase(it);
  ++generation_;
  return true;
}

void SearchCatalog::clear() {
  std::unique_lock lock(mutex_);
  tokens_.clear();
  dictionary_.clear();
  grams_.clear();
  slots_.clear();
  stamps_.clear();
  sequences_.clear();
  free_slots_.clear();
  by_address_.clear();
  postings_ = stale_ = live_tokens_ = 0;
  ++generation_;
}

SearchCatalog::WordMatch SearchCatalog::match_word(const std::string& word, bool as_prefix) const {
  WordMatch match;
  auto add = [&](std::uint32_t id, std::uint8_t quality) {
    if (tokens_[id].live == 0) return;
    match.tokens.emplace_back(id, quality);
    match.cost += tokens_[id].postings.size();
  };
  bool exact = false;
  // Only the word being typed (the last) stands for its continuations, and
  // not while it is a single character, which would stand for nearly all.
  const std::size_t chars = static_cast<std::size_t>(
      std::count_if(word.begin(), word.end(), [](char c) { return (c & 0xC0) != 0x80; }));
  as_prefix = as_prefix && chars > 1;
  for (auto it = dictionary_.lower_bound(word);
       it != dictionary_.end() && std::string_view(it->first).substr(0, word.size()) == word &&
       (as_prefix || it->first.size() == word.size());
       ++it) {
    const bool same = it->first.size() == word.size();
    exact = exact || (same && tokens_[it->second].live > 0);
    add(it->second, same ? kExact : kPrefix);
  }
  // A near miss is looked for only when the word is not in the catalog as
  // typed, and only for words long enough for a typo to be distinguishable.
  if (exact || word.size() < 4) return match;
  const std::size_t bound = word.size() <= 6 ? 1 : 2;
  const auto grams = index_grams(word);
  // A token within `bound` edits shares all but at most 4 * bound grams (a
  // transposition touches four).
  const std::size_t need = grams.size() > 4 * bound ? grams.size() - 4 * bound : 1;
  Scratch& s = scratch();
  const std::uint32_t stamp = s.next(slots_.size(), tokens_.size());
  std::vector<std::uint32_t> candidates;
  for (const auto& gram : grams) {
    auto it = grams_.find(gram_key(gram));
    if (it == grams_.end()) continue;
    for (const auto id : it->second) {
      if (s.token_mark[id] != stamp) {
        s.token_mark[id] = stamp;
        s.token_count[id] = 0;
        candidates.push_back(id);
      }
      ++s.token_count[id];
    }
  }
  for (const auto id : candidates) {
    if (s.token_count[id] < need) continue;
    const auto& text = tokens_[id].text;
    if (text.size() >= word.size() && text.compare(0, word.size(), word) == 0) continue;
    // A misspelt prefix ("converstion" for "conversations") counts as near.
    const std::string_view head = std::string_view(text).substr(0, word.size() + 1);
    if (bounded_distance(word, text, bound) <= bound ||
        (head.size() < text.size() && bounded_distance(word, head, bound) <= bound)) {
      add(id, kNear);
    }
  }
  return match;
}

base::Result<SearchPage> SearchCatalog::query_page(std::string_view query,
                                                   std::string_view cursor_text,
                                                   std::size_t limit) const {
  std::shared_lock lock(mutex_);
  const std::string normalized = normalize_search_text(query);
  const std::uint64_t query_hash = base::fnv1a64(normalized);
  std::size_t offset = 0;
  if (!cursor_text.empty()) {
    const auto cursor = decode_cursor(cursor_text);
    if (!cursor) return base::make_error("search cursor is malformed");
    if (cursor->generation != generation_) {
      return base::make_error("search cursor has expired; the catalog changed");
    }
    if (cursor->query_hash != query_hash) {
      return base::make_error("search cursor belongs to another query");
    }
    offset = cursor->offset;
  }
  limit = std::clamp<std::size_t>(limit, 1, kMaxPageSize);
  SearchPage page;
  auto words = index_tokens(normalized);
  // A query ending in a separator has finished its last word.
  const std::string typing = !words.empty() && !query.empty() &&
                                     std::isalnum(static_cast<unsigned char>(query.back())) == 0 &&
                                     static_cast<unsigned char>(query.back()) < 0x80
                                 ? std::string()
                                 : (words.empty() ? std::string() : words.back());
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  if (words.empty()) return page;
  if (words.size() > kMaxQueryWords) words.resize(kMaxQueryWords);

  std::vector<WordMatch> matches;
  for (const auto& w : words) {
    matches.push_back(match_word(w, w == typing));
    if (matches.back().tokens.empty()) return page;  // every word must match
  }
  std::sort(matches.begin(), matches.end(),
            [](const WordMatch& a, const WordMatch& b) { return a.cost < b.cost; });

  Scratch& s = scratch();
  std::uint32_t stamp = s.next(slots_.size(), tokens_.size());
  std::vector<std::uint32_t> hits;
  for (const auto& [id, quality] : matches.front().tokens) {
    for (const auto& p : tokens_[id].postings) {
      if (stamps_[p.slot] != (p.stamp & kStampMask)) continue;
      const auto score = static_cast<std::uint16_t>(quality * 4 + (p.stamp >> kFlagShift));
      if (s.slot_mark[p.slot] != stamp) {
        s.slot_mark[p.slot] = stamp;
        s.slot_score[p.slot] = score;
        hits.push_back(p.slot);
      } else if (score > s.slot_score[p.slot]) {
        s.slot_score[p.slot] = score;
      }
    }
  }
  for (std::size_t w = 1; w < matches.size() && !hits.empty(); ++w) {
    const std::uint32_t tstamp = s.next(slots_.size(), tokens_.size());
    for (const auto& [id, quality] : matches[w].tokens) {
      if (s.token_mark[id] != tstamp || s.token_quality[id] < quality) {
        s.token_mark[id] = tstamp;
        s.token_quality[id] = quality;
      }
    }
    std::erase_if(hits, [&](std::uint32_t slot) {
      std::uint16_t best = 0;
      for (const auto packed : slots_[slot].tokens) {
        const auto id = packed >> 2;
        if (s.token_mark[id] != tstamp) continue;
        best = std::max<std::uint16_t>(best, s.token_quality[id] * 4 + (packed & 3));
      }
      s.slot_score[slot] = static_cast<std::uint16_t>(s.slot_score[slot] + best);
      return best == 0;
    });
  }
  page.total = hits.size();
  if (offset >= hits.size()) return page;
  const std::size_t end = std::min(hits.size(), offset + limit);
  auto better = [&](std::uint32_t a, std::uint32_t b) {
    if (s.slot_score[a] != s.slot_score[b]) return s.slot_score[a] > s.slot_score[b];
    return sequences_[a] > sequences_[b];
  };
  std::partial_sort(hits.begin(), hits.begin() + static_cast<std::ptrdiff_t>(end), hits.end(),
                    better);
  for (std::size_t i = offset; i < end; ++i) {
    const auto& e = slots_[hits[i]].entry;
    page.results.push_back(
        SearchResult{e.section, e.title, e.subtitle, e.action_address, s.slot_score[hits[i]]});
  }
  if (end < hits.size()) page.next_cursor = encode_cursor({generation_, query_hash, end});
  return page;
}

bool SearchCatalog::cursor_is_current(std::string_view cursor) const {
  std::shared_lock lock(mutex_);
  const auto c = decode_cursor(cursor);
  return c && c->generation == generation_;
}

SearchStats SearchCatalog::stats() const {
  std::shared_lock lock(mutex_);
  return SearchStats{by_address_.size(), live_tokens_, grams_.size(),
                     postings_ - stale_, stale_,       generation_};
}

std::size_t SearchCatalog::size() const {
  std::shared_lock lock(mutex_);
  return by_address_.size();
}

std::optional<SearchEntry> SearchCatalog::entry(std::string_view action_address) const {
  std::shared_lock lock(mutex_);
  auto it = by_address_.find(std::string(action_address));
  if (it == by_address_.end()) return std::nullopt;
  return slots_[it->second].entry;
}

}  // namespace vesk_actions
