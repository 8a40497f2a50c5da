// Search catalog benchmark: indexes the catalog of a workspace document with
// 200,000 messages and times short queries (one to three words, prefixes,
// misspellings) and single-message updates. Prints one JSON line.
//
// By default the messages are written into a real workspace document through
// the chat's apply, the catalog is built from that document, and an update is
// the catalog's share of an edited message (the message read back from the
// document and its entry replaced). With --records the catalog is fed
// generated entries of the same shapes directly, which times the catalog alone.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "actions/resources.hpp"
#include "actions/search_index.hpp"
#include "crdt/document.hpp"
#include "doc/apply.hpp"
#include "doc/seeds.hpp"
#include "doc/writers.hpp"
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

// Times are the CPU time of this thread: the machine this runs on is shared,
// and wall time there measures the neighbours as much as the catalog.
Clock::time_point cpu_now() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
      std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec)));
}

double micros_since(Clock::time_point t0) {
  return std::chrono::duration<double, std::micro>(cpu_now() - t0).count();
}

struct Names {
  std::vector<std::string> people, channels, workspaces;
};

Names make_names(const std::vector<std::string>& words, std::mt19937& rng) {
  Names n;
  for (int i = 0; i < kPeople; ++i)
    n.people.push_back(pick(words, rng) + " " + words[rng() % words.size()]);
  for (int i = 0; i < kChannels; ++i) n.channels.push_back(words[rng() % words.size()]);
  for (int i = 0; i < kWorkspaces; ++i) n.workspaces.push_back("Workspace " + words[rng() % 200]);
  return n;
}

// Whole words, prefixes, two- and three-word mixes, misspellings.
std::vector<std::string> make_queries(const std::vector<std::string>& words, std::mt19937& rng) {
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
  return queries;
}

struct Figures {
  std::size_t entries = 0;
  double index_ms = 0;
  std::vector<double> update_us;
};

// The catalog alone, fed generated entries of the chat's shapes.
Figures run_records(SearchCatalog& catalog, const std::vector<std::string>& words, const Names& n,
                    std::mt19937& rng) {
  std::vector<SearchEntry> entries;
  for (int w = 0; w < kWorkspaces; ++w) {
    entries.push_back(
        {"Workspaces", n.workspaces[w], "Workspace", "", "chat.workspace:ws_" + std::to_string(w)});
  }
  for (int c = 0; c < kChannels; ++c) {
    entries.push_back({"Conversations", "#" + n.channels[c], n.workspaces[c % kWorkspaces], "",
                       "chat.channel:c_" + std::to_string(c)});
  }
  for (int p = 0; p < kPeople; ++p) {
    entries.push_back({"People", n.people[p], "Person", "", "chat.person:u_" + std::to_string(p)});
  }
  auto message = [&](int m) {
    const int c = static_cast<int>(rng() % kChannels);
    return SearchEntry{
        "Messages", sentence(words, rng),
        n.people[rng() % kPeople] + " · #" + n.channels[c] + " · " + n.workspaces[c % kWorkspaces],
        "", "chat.message:m_" + std::to_string(m)};
  };
  for (int m = 0; m < kMessages; ++m) entries.push_back(message(m));
  Figures f;
  const auto t0 = cpu_now();
  for (const auto& e : entries) catalog.insert(e);
  f.index_ms = micros_since(t0) / 1000.0;
  for (int i = 0; i < kUpdates; ++i) {
    auto e = message(static_cast<int>(rng() % kMessages));
    const auto u0 = cpu_now();
    catalog.insert(std::move(e));
    f.update_us.push_back(micros_since(u0));
  }
  f.entries = catalog.size();
  return f;
}

// A real workspace document: messages go in through apply, the catalog is
// built from the document, and each update is an edited message brought into
// the catalog through the same path the application uses.
Figures run_document(chat::ChatSearchIndex& index, const std::vector<std::string>& words,
                     const Names& n, std::mt19937& rng) {
  using namespace chat;
  crdt::Document document;
  doc::WorkspaceDoc workspace(document);
  for (int w = 0; w < kWorkspaces; ++w) {
    doc::put_workspace(document, "ws_" + std::to_string(w), n.workspaces[w], "W", w % 8, w);
  }
  for (int c = 0; c < kChannels; ++c) {
    doc::put_channel(document, "c_" + std::to_string(c), "ws_" + std::to_string(c % kWorkspaces),
                     "", n.channels[c], "", false, c);
  }
  for (int p = 0; p < kPeople; ++p) {
    doc::upsert_local_person(document, "u_" + std::to_string(p), n.people[p], "P", p % 8,
                             PersonStatus::Online);
  }
  document.commit();
  const auto b0 = cpu_now();
  for (int m = 0; m < kMessages; ++m) {
    ChatAction::SendMessage send;
    send.channel = "c_" + std::to_string(rng() % kChannels);
    send.id = "m_" + std::to_string(m);
    send.author = "u_" + std::to_string(rng() % kPeople);
    send.ts = 1782477600 + m;
    send.text = sentence(words, rng);
    doc::apply(workspace, send);
    if (m % 500 == 499) document.commit();
  }
  document.commit();
  std::fprintf(stderr, "document built in %.1f s\n", micros_since(b0) / 1e6);

  DocumentChatReader reader(workspace);
  Figures f;
  const auto t0 = cpu_now();
  index.rebuild(reader);
  f.index_ms = micros_since(t0) / 1000.0;
  for (int i = 0; i < kUpdates; ++i) {
    const std::string id = "m_" + std::to_string(rng() % kMessages);
    const auto found = reader.find_message(id);
    if (!found) continue;
    doc::apply(workspace,
               ChatAction::EditMessage{found->channel, id, sentence(words, rng), 1782477600});
    document.commit();
    SearchChanges changes;
    changes.messages.insert(id);
    const auto u0 = cpu_now();
    index.update(reader, changes);
    f.update_us.push_back(micros_since(u0));
  }
  f.entries = index.catalog()->size();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const bool records = argc > 1 && std::strcmp(argv[1], "--records") == 0;
  std::mt19937 rng(20260611);
  const auto words = vocabulary(rng);
  const auto names = make_names(words, rng);
  chat::ChatSearchIndex index;
  SearchCatalog& catalog = *index.catalog();
  const Figures f =
      records ? run_records(catalog, words, names, rng) : run_document(index, words, names, rng);

  const auto queries = make_queries(words, rng);
  std::vector<double> query_us;
  std::size_t found = 0;
  for (const auto& q : queries) {
    const auto q0 = cpu_now();
    auto page = catalog.query_page(q, "", 20);
    query_us.push_back(micros_since(q0));
    if (page.ok()) found += page->results.empty() ? 0 : 1;
  }

  // The slowest queries say where the tail comes from.
  std::vector<std::size_t> order(queries.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::partial_sort(order.begin(), order.begin() + 5, order.end(),
                    [&](auto a, auto b) { return query_us[a] > query_us[b]; });
  for (std::size_t i = 0; i < 5; ++i) {
    auto page = catalog.query_page(queries[order[i]], "", 20);
    std::fprintf(stderr, "slow: '%s' %.0f us, %zu hits\n", queries[order[i]].c_str(),
                 query_us[order[i]], page.ok() ? page->total : 0);
  }
  std::printf(
      "{\"entries\":%zu,\"index_ms\":%.1f,\"query_us_p50\":%.1f,\"query_us_p99\":%.1f,"
      "\"update_us_p50\":%.1f}\n",
      f.entries, f.index_ms, percentile(query_us, 0.5), percentile(query_us, 0.99),
      percentile(f.update_us, 0.5));
  std::fprintf(stderr,
               "%s; queries with results: %zu of %zu; update p99 %.1f us; query max %.1f us\n",
               records ? "generated records" : "workspace document", found, queries.size(),
               percentile(f.update_us, 0.99), percentile(query_us, 1.0));
  return 0;
}
