#include "base/log.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace base::log {
namespace {

Level from_env() {
  const char* v = std::getenv("VESK_LOG");
  if (!v) return Level::Warn;
  const std::string s(v);
  if (s == "off" || s == "0") return Level::Off;
  if (s == "error") return Level::Error;
  if (s == "info") return Level::Info;
  if (s == "debug") return Level::Debug;
  return Level::Warn;
}

std::atomic<int>& current() {
  static std::atomic<int> level{static_cast<int>(from_env())};
  return level;
}

const char* name(Level l) {
  switch (l) {
    case Level::Error: return "error";
    case Level::Warn: return "warn";
    case Level::Info: return "info";
    case Level::Debug: return "debug";
    case Level::Off: break;
  }
  return "";
}

}  // namespace

Level level() { return static_cast<Level>(current().load(std::memory_order_relaxed)); }
void set_level(Level l) { current().store(static_cast<int>(l), std::memory_order_relaxed); }
bool enabled(Level l) { return l != Level::Off && static_cast<int>(l) <= current().load(std::memory_order_relaxed); }

void write(Level l, std::string_view where, std::string_view message) {
  // One fwrite per line so lines from different threads never interleave.
  static std::mutex mu;
  std::string line = fmt::format("[{}] {}: {}\n", name(l), where, message);
  std::lock_guard lock(mu);
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace base::log
