// Search catalog benchmark: indexes the catalog of a 200,000-message chat and
// times short queries (one to three words, prefixes, misspellings) and
// single-message updates. Prints one JSON line.
//
// The entries have the shapes the chat publishes: one per workspace,
// conversation, category, person and message, with the message subtitle
// naming author, conversation and workspace.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "vesk_actions/search_catalog.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using vesk_actions::SearchCatalog;
using vesk_actions::SearchEntry;

constexpr int kMessages = 200000;
constexpr int kWorkspaces = 8;
constexpr int kChannels = 100;
constexpr int kPeople = 300;
constexpr int kQueries = 3000;
constexpr int kUpdates = 5000;

// A vocabulary with a long tail: common words plus made-up project words.
std::vector<std::string> vocabulary(std::mt19937& rng) {
  std::vector<std::string> words = {
      "the",       "a",          "to",         "and",      "we",        "is",         "it",
      "for",       "on",         "this",       "that",     "with",      "deploy",     "build",
      "release",   "review",     "meeting",    "lunch",    "tomorrow",  "today",      "fixed",
      "broken",    "staging",    "production", "database", "migration", "design",     "draft",
      "customer",  "invoice",    "schedule",   "standup",  "retro",     "sprint",     "ticket",
      "merge",     "branch",     "rollback",   "latency",  "dashboard", "metrics",    "alert",
      "incident",  "postmortem", "roadmap",    "budget",   "hiring",    "onboarding", "feedback",
      "prototype", "benchmark",  "server",     "client",   "network",   "café",       "naïve",
      "résumé",    "Zürich",     "München",    "São",      "Paulo",     "coöperate",  "déjà",
      "vu"};
  const char* syllables[] = {"ka",  "lo",  "mi",  "ne",  "ru",  "ta",  "vo",  "shi", "zen", "dra",
                             "pol", "qua", "ber", "fin", "gor", "hul", "jin", "wex", "yor", "sta"};
  for (int i = 0; i < 4000; ++i) {
    std::string w;
    for (int n = 2 + static_cast<int>(rng() % 3); n > 0; --n) w += syllables[rng() % 20];
    words.push_back(w);
  }
  return words;
}

std::string pick(const std::vector<std::string>& words, std::mt19937& rng) {
  // Zipf-like: small indices are far more frequent.
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const double x = std::pow(u(rng), 3.0);
  return words[static_cast<std::size_t>(x * static_cast<double>(words.size() - 1))];
}

std::string sentence(const std::vector<std::string>& words, std::mt19937& rng) {
  std::string s;
  for (int n = 4 + static_cast<int>(rng() % 14); n > 0; --n) {
    if (!s.empty()) s.push_back(' ');
    s += pick(words, rng);
  }
  if (rng() % 5 == 0) s += "!";
  return s;
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

double micros_since(Clock::time_point t0) {
  return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

}  // namespace

int main() {
  std::mt19937 rng(20260611);
  const auto words = vocabulary(rng);
  std::vector<std::string> people, channels, workspaces;
  for (int i = 0; i < kPeople; ++i)
    people.push_back(pick(words, rng) + " " + words[rng() % words.size()]);
  for (int i = 0; i < kChannels; ++i) channels.push_back(words[rng() % words.size()]);
  for (int i = 0; i < kWorkspaces; ++i) workspaces.push_back("Workspace " + words[rng() % 200]);

  std::vector<SearchEntry> entries;
  entries.reserve(kMessages + kChannels + kPeople + kWorkspaces * 4);
  for (int w = 0; w < kWorkspaces; ++w) {
    entries.push_back(
        {"Workspaces", workspaces[w], "Workspace", "", "chat.workspace:ws_" + std::to_string(w)});
    for (int c = 0; c < 3; ++c) {
      entries.push_back({"Categories", words[rng() % 100], workspaces[w] + " expanded", "",
                         "chat.category:cat_" + std::to_string(w * 3 + c)});
    }
  }
  for (int c = 0; c < kChannels; ++c) {
    entries.push_back({"Conversations", "#" + channels[c],
                       workspaces[c % kWorkspaces] + " · " + sentence(words, rng), "",
                       "chat.channel:c_" + std::to_string(c)});
  }
  for (int p = 0; p < kPeople; ++p) {
    entries.push_back({"People", people[p], p % 10 == 0 ? "Agent" : "Person", "",
                       "chat.person:u_" + std::to_string(p)});
  }
  for (int m = 0; m < kMessages; ++m) {
    const int c = static_cast<int>(rng() % kChannels);
    entries.push_back(
        {"Messages", sentence(words, rng),
         people[rng() % kPeople] + " · #" + channels[c] + " · " + workspaces[c % kWorkspaces], "",
         "chat.message:m_" + std::to_string(m)});
  }

  SearchCatalog catalog;
  const auto t0 = Clock::now();
  for (const auto& e : entries) catalog.insert(e);
  const double index_ms = micros_since(t0) / 1000.0;

  // Queries: whole words, prefixes, two- and three-word mixes, misspellings.
  std::vector<std::string> queries;
  for (int i = 0; i < kQueries; ++i) {
    std::string w = pick(words, rng);
    switch (i % 5) {
      case 0:
        queries.push_back(w);
        break;
      case 1:
        queries.push_back(w.substr(0, std::max<std::size_t>(2, w.size() / 2)));
        break;
      case 2:
        queries.push_back(w + " " + pick(words, rng));
        break;
      case 3:
        queries.push_back(w + " " + pick(words, rng) + " " + pick(words, rng).substr(0, 3));
        break;
      default:
        if (w.size() >= 5) std::swap(w[1], w[2]);
        queries.push_back(w);
    }
  }
  std::vector<double> query_us;
  std::size_t found = 0;
  for (const auto& q : queries) {
    const auto q0 = Clock::now();
    auto page = catalog.query_page(q, "", 20);
    query_us.push_back(micros_since(q0));
    if (page.ok()) found += page->results.empty() ? 0 : 1;
  }

  std::vector<double> update_us;
  for (int i = 0; i < kUpdates; ++i) {
    const int m = static_cast<int>(rng() % kMessages);
    const int c = static_cast<int>(rng() % kChannels);
    SearchEntry e{
        "Messages", sentence(words, rng),
        people[rng() % kPeople] + " · #" + channels[c] + " · " + workspaces[c % kWorkspaces], "",
        "chat.message:m_" + std::to_string(m)};
    const auto u0 = Clock::now();
    catalog.insert(std::move(e));
    update_us.push_back(micros_since(u0));
  }

  std::printf(
      "{\"entries\":%zu,\"index_ms\":%.1f,\"query_us_p50\":%.1f,\"query_us_p99\":%.1f,"
      "\"update_us_p50\":%.1f}\n",
      catalog.size(), index_ms, percentile(query_us, 0.5), percentile(query_us, 0.99),
      percentile(update_us, 0.5));
  std::fprintf(stderr, "queries with results: %zu of %zu; update p99 %.1f us; query max %.1f us\n",
               found, queries.size(), percentile(update_us, 0.99), percentile(query_us, 1.0));
  return 0;
}
