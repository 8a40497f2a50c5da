// Builds a large workspace document through apply() the way the application
// would (one commit per action, on a document file), then measures what a
// user feels: one SendMessage applied and committed, projecting a busy
// channel, and reopening the file. Prints one JSON line.
//
// Usage: doc_workload [--messages N] [--channels N] [--big N] [--sends N] [--dir PATH]

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "crdt/document.hpp"
#include "doc/apply.hpp"
#include "doc/projection.hpp"
#include "doc/workspace_doc.hpp"
#include "doc/writers.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using chat::ChatAction;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of this thread: on a shared, busy machine the wall clock mostly
// measures the other processes, so both are reported.
double cpu_ms() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

constexpr std::string_view kWords[] = {
    "the",      "build",   "is",     "green",  "again",  "after",   "we",     "moved",   "tiles",
    "to",       "a",       "grid",   "can",    "you",    "review",  "call",   "overlay", "today",
    "shipping", "release", "notes",  "for",    "kernel", "and",     "sync",   "fixes",   "please",
    "merge",    "branch",  "when",   "ready",  "thanks", "looks",   "good",   "ping",    "me",
    "later",    "standup", "moved",  "half",   "hour",   "earlier", "design", "crit",    "at",
    "noon",     "bring",   "mocks",  "colour", "tokens", "from",    "theme",  "👍",       "🎉",
    "café",     "naïve",   "日本語", "ok",     "lgtm",   "nit",     "typo",   "in",      "docs"};
constexpr std::string_view kEmoji[] = {"👍", "🎉", "❤️", "🔥", "🚀", "👀", "😂", "✅"};

struct Options {
  std::size_t messages = 200000;
  std::size_t channels = 100;
  std::size_t big = 10000;  // messages of the busiest channel
  std::size_t sends = 2000;
  std::filesystem::path dir = std::filesystem::temp_directory_path();
};

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string_view flag = argv[i];
    const char* value = argv[i + 1];
    if (flag == "--messages") o.messages = std::strtoull(value, nullptr, 10);
    if (flag == "--channels") o.channels = std::strtoull(value, nullptr, 10);
    if (flag == "--big") o.big = std::strtoull(value, nullptr, 10);
    if (flag == "--sends") o.sends = std::strtoull(value, nullptr, 10);
    if (flag == "--dir") o.dir = value;
  }
  o.channels = std::max<std::size_t>(o.channels, 2);
  o.big = std::min(o.big, o.messages);
  return o;
}

class Workload {
 public:
  Workload(chat::doc::WorkspaceDoc& w, const Options& o) : w_(w), o_(o), rng_(20260626) {}

  void run(const ChatAction& action) {
    chat::doc::apply(w_, action);
    w_.doc().commit();
  }

  std::string text() {
    std::size_t words = 3 + rng_() % 30;
    std::string out;
    for (std::size_t i = 0; i < words; ++i) {
      if (i) out += ' ';
      out += kWords[rng_() % std::size(kWords)];
    }
    return out;
  }

  std::string channel_id(std::size_t i) { return "c_bench_" + std::to_string(i); }

  void build_places() {
    chat::doc::put_workspace(w_.doc(), "ws_bench", "Bench", "BE", 0, 0);
    w_.doc().commit();
    for (std::size_t cat = 0; cat < 5; ++cat) {
      run(ChatAction::CreateCategory{"ws_bench", "cat_bench_" + std::to_string(cat),
                                     "Category " + std::to_string(cat)});
    }
    for (std::size_t i = 0; i < o_.channels; ++i) {
      run(ChatAction::CreateChannel{"ws_bench", "cat_bench_" + std::to_string(i % 5), channel_id(i),
                                    "channel-" + std::to_string(i), chat::ChannelKind::Text});
    }
    roots_.resize(o_.channels);
    ids_.resize(o_.channels);
  }

  ChatAction::SendMessage next_send(std::size_t channel) {
    ChatAction::SendMessage s;
    s.channel = channel_id(channel);
    s.id = "m_bench_" + std::to_string(serial_++);
    s.author = "u_" + std::to_string(rng_() % 40);
    s.ts = 1782400000 + static_cast<std::int64_t>(serial_) * 7;
    s.text = text();
    // About one message in eight answers a recent thread root.
    if (!roots_[channel].empty() && rng_() % 8 == 0) {
      s.parent = roots_[channel][rng_() % roots_[channel].size()];
    }
    return s;
  }

  void send(std::size_t channel) {
    ChatAction::SendMessage s = next_send(channel);
    if (!s.parent) {
      roots_[channel].push_back(s.id);
      if (roots_[channel].size() > 32) roots_[channel].erase(roots_[channel].begin());
    }
    ids_[channel].push_back(s.id);
    run(s);
  }

  void decorate(std::size_t channel) {
    const std::vector<std::string>& ids = ids_[channel];
    if (ids.empty()) return;
    const std::string& target =
        ids[ids.size() - 1 - rng_() % std::min<std::size_t>(ids.size(), 50)];
    std::size_t roll = rng_() % 20;
    if (roll < 5) {
      run(ChatAction::AddReaction{channel_id(channel), target, std::string(kEmoji[rng_() % 8]),
                                  "u_" + std::to_string(rng_() % 40)});
    } else if (roll == 5) {
      run(ChatAction::EditMessage{channel_id(channel), target, text(), 1782500000});
    }
  }

  void build_messages() {
    // The busy channel first gets its share interleaved with the others so
    // its list is as fragmented as a real one.
    std::size_t big_left = o_.big;
    std::size_t rest_left = o_.messages - o_.big;
    std::size_t next_small = 1;
    while (big_left + rest_left > 0) {
      bool big = big_left > 0 && (rest_left == 0 || rng_() % (big_left + rest_left) < big_left);
      std::size_t channel = 0;
      if (big) {
        --big_left;
      } else {
        --rest_left;
        channel = next_small;
        next_small = next_small + 1 == o_.channels ? 1 : next_small + 1;
      }
      send(channel);
      decorate(channel);
    }
  }

  std::size_t pick_channel() { return rng_() % o_.channels; }

 private:
  chat::doc::WorkspaceDoc& w_;
  const Options& o_;
  std::mt19937_64 rng_;
  std::size_t serial_ = 0;
  std::vector<std::vector<std::string>> roots_;
  std::vector<std::vector<std::string>> ids_;
};

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(at, v.size() - 1)];
}

void project_model(chat::doc::WorkspaceDoc& w, const std::string& channel) {
  const crdt::Document& d = w.doc();
  auto workspaces = chat::doc::list_workspaces(d);
  auto categories = chat::doc::list_categories(d);
  auto channels = chat::doc::list_channels(d);
  auto persons = chat::doc::list_persons(d);
  // Builds the message index too, which the first action needs anyway.
  auto messages = w.list_messages(channel);
  if (workspaces.empty() || channels.empty() || messages.empty()) {
    std::fprintf(stderr, "doc_workload: projection came back empty\n");
    std::exit(1);
  }
  (void)categories;
  (void)persons;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = parse(argc, argv);
  std::filesystem::path path = o.dir / ("doc_workload_" + std::to_string(::getpid()) + ".vdoc");
  std::filesystem::remove(path);

  double build_ms = 0;
  double cpu_build_ms = 0;
  std::vector<double> send_us;
  std::vector<double> cpu_send_us;
  std::vector<double> cpu_runs;
  double project_ms = 0;
  std::size_t messages = 0;
  std::size_t channels = 0;
  {
    auto opened = crdt::Document::open(path);
    if (!opened.ok()) {
      std::fprintf(stderr, "doc_workload: %s\n", opened.error().c_str());
      return 1;
    }
    crdt::Document d = std::move(*opened);
    chat::doc::WorkspaceDoc w(d);
    Workload load(w, o);

    auto start = Clock::now();
    double cpu_start = cpu_ms();
    load.build_places();
    load.build_messages();
    build_ms = ms_since(start);
    cpu_build_ms = cpu_ms() - cpu_start;

    // The first projection reads every record; later refreshes reread the
    // list and only the records whose objects changed.
    auto cold = Clock::now();
    double cpu_cold = cpu_ms();
    std::size_t busy = w.list_messages(load.channel_id(0)).size();
    std::fprintf(stderr, "doc_workload: cold projection of %zu messages: %.2f ms (cpu %.2f ms)\n",
                 busy, ms_since(cold), cpu_ms() - cpu_cold);
    std::vector<double> runs;
    for (int i = 0; i < 7; ++i) {
      auto t = Clock::now();
      double c = cpu_ms();
      auto list = w.list_messages(load.channel_id(0));
      runs.push_back(ms_since(t));
      cpu_runs.push_back(cpu_ms() - c);
      if (list.size() != o.big) {
        std::fprintf(stderr, "doc_workload: busy channel holds %zu messages\n", list.size());
        return 1;
      }
    }
    project_ms = percentile(runs, 0.5);
    channels = chat::doc::list_channels(d).size();
    messages = w.messages().size();

    for (std::size_t i = 0; i < o.sends; ++i) {
      std::size_t channel = load.pick_channel();
      ChatAction action = load.next_send(channel);
      auto t = Clock::now();
      double c = cpu_ms();
      load.run(action);
      send_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
      cpu_send_us.push_back((cpu_ms() - c) * 1000);
    }
    if (auto flushed = d.flush(); !flushed.ok()) {
      std::fprintf(stderr, "doc_workload: %s\n", flushed.error().c_str());
      return 1;
    }
  }

  auto start = Clock::now();
  double cpu_open = cpu_ms();
  auto reopened = crdt::Document::open(path);
  if (!reopened.ok()) {
    std::fprintf(stderr, "doc_workload: reopen: %s\n", reopened.error().c_str());
    return 1;
  }
  crdt::Document d = std::move(*reopened);
  const double load_ms = ms_since(start);
  chat::doc::WorkspaceDoc w(d);
  const double index_ms = ms_since(start) - load_ms;
  project_model(w, "c_bench_0");
  double open_ms = ms_since(start);
  // Where a reopen spends its time: the engine's file load, the message
  // index, the first projection.
  std::fprintf(stderr, "doc_workload: reopen: load %.1f ms, index %.1f ms, projection %.1f ms\n",
               load_ms, index_ms, open_ms - load_ms - index_ms);
  cpu_open = cpu_ms() - cpu_open;
  auto file_bytes = std::filesystem::file_size(path);

  std::printf(
      "{\"messages\":%zu,\"channels\":%zu,\"build_ms\":%.0f,\"send_apply_us_p50\":%.1f,"
      "\"send_apply_us_p99\":%.1f,\"project_channel_ms\":%.2f,\"open_ms\":%.1f,"
      "\"file_bytes\":%ju}\n",
      messages, channels, build_ms, percentile(send_us, 0.5), percentile(send_us, 0.99), project_ms,
      open_ms, static_cast<std::uintmax_t>(file_bytes));
  std::fprintf(stderr,
               "doc_workload: thread cpu: build_ms %.0f send_apply_us_p50 %.1f "
               "send_apply_us_p99 %.1f project_channel_ms %.2f open_ms %.1f\n",
               cpu_build_ms, percentile(cpu_send_us, 0.5), percentile(cpu_send_us, 0.99),
               percentile(cpu_runs, 0.5), cpu_open);
  std::filesystem::remove(path);
  return 0;
}
