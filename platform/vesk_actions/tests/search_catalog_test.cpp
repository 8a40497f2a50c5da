#include "vesk_actions/search_catalog.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace vesk_actions {
namespace {

SearchEntry message(std::string id, std::string title, std::string subtitle = "ann · #general") {
  return {"Messages", std::move(title), std::move(subtitle), "", "chat.message:" + std::move(id)};
}

std::vector<std::string> addresses(const SearchPage& page) {
  std::vector<std::string> out;
  for (const auto& r : page.results) out.push_back(r.action_address);
  return out;
}

SearchPage query(const SearchCatalog& catalog, std::string_view q, std::size_t limit = 50) {
  auto page = catalog.query_page(q, "", limit);
  EXPECT_TRUE(page.ok()) << (page.ok() ? "" : page.error());
  return page.ok() ? page.value() : SearchPage{};
}

TEST(NormalizeSearchText, FoldsCaseAccentsAndPunctuation) {
  const std::pair<const char*, const char*> cases[] = {
      {"Hello, World!", "hello world"},
      {"Ünïcödé Çafé", "unicode cafe"},
      {"ŒUVRE straße", "œuvre straße"},
      {"  --#general--  ", "general"},
      {"ΑΘΗΝΑ", "αθηνα"},
      {"🔊 lounge", "lounge"},
      {"a\xff\xfe"
       "b",
       "a b"},
      {"ﬁle", "ﬁle"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(normalize_search_text(in), out) << in;
}

TEST(IndexTokens, SplitsWordsAndBoundsTheirLength) {
  EXPECT_EQ(index_tokens("deploy the build"), (std::vector<std::string>{"deploy", "the", "build"}));
  const std::string long_word(100, 'x');
  ASSERT_EQ(index_tokens(long_word).size(), 1u);
  EXPECT_EQ(index_tokens(long_word)[0].size(), kMaxTokenBytes);
  // A multi-byte character straddling the limit is dropped whole.
  const std::string accented = std::string(kMaxTokenBytes - 1, 'a') + "é";
  EXPECT_EQ(index_tokens(accented)[0], std::string(kMaxTokenBytes - 1, 'a'));
  EXPECT_EQ(index_grams("ab"), (std::vector<std::string>{"\x01"
                                                         "ab",
                                                         "ab\x01"}));
  EXPECT_EQ(index_grams("abc").size(), 3u);
}

TEST(SearchCatalog, RanksExactThenPrefixThenNearMisses) {
  SearchCatalog catalog;
  catalog.insert(message("1", "the deployment finished"));
  catalog.insert(message("2", "deploy now"));
  catalog.insert(message("3", "we should depoly it"));
  catalog.insert(message("4", "lunch plans"));
  EXPECT_EQ(addresses(query(catalog, "deploy")),
            (std::vector<std::string>{"chat.message:2", "chat.message:1"}));
  // A misspelling finds the right word, and the misspelt text finds the word.
  EXPECT_EQ(addresses(query(catalog, "lnuch")), std::vector<std::string>{"chat.message:4"});
  EXPECT_EQ(addresses(query(catalog, "depoly")), std::vector<std::string>{"chat.message:3"});
  // Only the word being typed stands for its continuations, and only once it
  // has two characters.
  EXPECT_EQ(addresses(query(catalog, "dep")).size(), 3u);  // deploy, deployment, depoly
  EXPECT_TRUE(query(catalog, "dep now").results.empty());
  EXPECT_EQ(addresses(query(catalog, "now dep")), std::vector<std::string>{"chat.message:2"});
  EXPECT_TRUE(query(catalog, "now dep ").results.empty());
  EXPECT_TRUE(query(catalog, "d").results.empty());
  EXPECT_TRUE(query(catalog, "zzz").results.empty());
  EXPECT_TRUE(query(catalog, "  !! ").results.empty());
}

TEST(SearchCatalog, EveryWordMustMatchAndTitlesOutrankSubtitles) {
  SearchCatalog catalog;
  catalog.insert({"Conversations", "#general", "Acme · daily talk", "", "chat.channel:c_1"});
  catalog.insert({"Workspaces", "Acme", "Workspace", "", "chat.workspace:ws_1"});
  catalog.insert(message("m1", "general update for acme", "bob · #random · Acme"));
  EXPECT_EQ(addresses(query(catalog, "acme")).front(), "chat.workspace:ws_1");
  EXPECT_EQ(addresses(query(catalog, "GENERAL acme")),
            (std::vector<std::string>{"chat.message:m1", "chat.channel:c_1"}));
  EXPECT_EQ(addresses(query(catalog, "general daily")),
            std::vector<std::string>{"chat.channel:c_1"});
  EXPECT_EQ(addresses(query(catalog, "Café")).size(), 0u);
  catalog.insert(message("m2", "Le café est prêt"));
  EXPECT_EQ(addresses(query(catalog, "cafe pret")), std::vector<std::string>{"chat.message:m2"});
}

TEST(SearchCatalog, PagesWithCursorsThatExpireWhenTheCatalogChanges) {
  SearchCatalog catalog;
  for (int i = 0; i < 25; ++i)
    catalog.insert(message(std::to_string(i), "standup note " + std::to_string(i)));
  auto first = catalog.query_page("standup", "", 10);
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(first->total, 25u);
  ASSERT_EQ(first->results.size(), 10u);
  EXPECT_EQ(first->results[0].action_address, "chat.message:24");  // newest first among equals
  ASSERT_TRUE(first->next_cursor);
  EXPECT_TRUE(catalog.cursor_is_current(*first->next_cursor));

  const auto first_addresses = addresses(*first);
  std::set<std::string> seen(first_addresses.begin(), first_addresses.end());
  std::string cursor = *first->next_cursor;
  for (;;) {
    auto page = catalog.query_page("standup", cursor, 10);
    ASSERT_TRUE(page.ok());
    for (const auto& a : addresses(*page)) EXPECT_TRUE(seen.insert(a).second) << a;
    if (!page->next_cursor) break;
    cursor = *page->next_cursor;
  }
  EXPECT_EQ(seen.size(), 25u);

  auto again = catalog.query_page("standup", "", 10);
  EXPECT_FALSE(catalog.query_page("other words", *again->next_cursor, 10).ok());
  // Replaying an identical entry is no change; a real change expires cursors.
  EXPECT_FALSE(catalog.insert(message("3", "standup note 3")));
  EXPECT_TRUE(catalog.cursor_is_current(*again->next_cursor));
  EXPECT_TRUE(catalog.insert(message("3", "standup moved")));
  EXPECT_FALSE(catalog.cursor_is_current(*again->next_cursor));
  auto stale = catalog.query_page("standup", *again->next_cursor, 10);
  ASSERT_FALSE(stale.ok());
  EXPECT_EQ(stale.error(), "search cursor has expired; the catalog changed");
  EXPECT_FALSE(catalog.query_page("standup", "garbage", 10).ok());
  EXPECT_FALSE(catalog.cursor_is_current("c1.x.y.z"));
}

TEST(SearchCatalog, UpdatesAndRemovalsReplaceOldPostings) {
  SearchCatalog catalog;
  catalog.insert(message("1", "alpha beta"));
  catalog.insert(message("2", "alpha gamma"));
  auto before = catalog.stats();
  EXPECT_EQ(before.entries, 2u);
  EXPECT_EQ(before.tokens, 3u + 2u);  // alpha beta gamma + ann general (subtitle)
  catalog.insert(message("1", "delta"));
  EXPECT_EQ(addresses(query(catalog, "beta")), std::vector<std::string>{});
  EXPECT_EQ(addresses(query(catalog, "alpha")), std::vector<std::string>{"chat.message:2"});
  EXPECT_EQ(addresses(query(catalog, "delta")), std::vector<std::string>{"chat.message:1"});
  EXPECT_TRUE(catalog.remove_postings("chat.message:2"));
  EXPECT_FALSE(catalog.remove_postings("chat.message:2"));
  EXPECT_TRUE(query(catalog, "alpha").results.empty());
  // A slot reused by a new entry does not inherit postings of the old one.
  catalog.insert(message("3", "epsilon"));
  EXPECT_TRUE(query(catalog, "gamma").results.empty());
  EXPECT_EQ(addresses(query(catalog, "epsilon")), std::vector<std::string>{"chat.message:3"});
  const auto after = catalog.stats();
  EXPECT_EQ(after.entries, 2u);
  EXPECT_GT(after.generation, before.generation);
  EXPECT_EQ(catalog.entry("chat.message:3")->title, "epsilon");
  EXPECT_FALSE(catalog.entry("chat.message:2"));
}

// Random inserts, updates and removals against a brute-force model: every
// single-word exact query must find exactly the live entries holding the word.
TEST(SearchCatalog, AgreesWithABruteForceScanUnderChurn) {
  std::mt19937 rng(7);
  const std::vector<std::string> words = {"red",  "green", "blue", "cyan", "amber", "olive",
                                          "teal", "navy",  "plum", "rose", "sand",  "gold"};
  SearchCatalog catalog;
  std::map<std::string, std::string> model;  // address -> title
  for (int step = 0; step < 3000; ++step) {
    const std::string address = "chat.message:" + std::to_string(rng() % 200);
    if (rng() % 4 == 0) {
      EXPECT_EQ(catalog.remove_postings(address), model.erase(address) == 1);
      continue;
    }
    std::string title;
    for (int n = 1 + rng() % 4; n > 0; --n) title += words[rng() % words.size()] + " ";
    catalog.insert({"Messages", title, "", "", address});
    model[address] = title;
  }
  for (const auto& w : words) {
    std::set<std::string> expected;
    for (const auto& [address, title] : model) {
      if (title.find(w + " ") == 0 || title.find(" " + w + " ") != std::string::npos)
        expected.insert(address);
    }
    std::set<std::string> got;
    std::string cursor;
    for (;;) {
      auto page = catalog.query_page(w, cursor, 200);
      ASSERT_TRUE(page.ok());
      for (const auto& r : page->results) got.insert(r.action_address);
      if (!page->next_cursor) break;
      cursor = *page->next_cursor;
    }
    EXPECT_EQ(got, expected) << w;
  }
  const auto stats = catalog.stats();
  EXPECT_EQ(stats.entries, model.size());
  EXPECT_LE(stats.stale_postings, stats.postings + 12 * 9);
}

}  // namespace
}  // namespace vesk_actions
