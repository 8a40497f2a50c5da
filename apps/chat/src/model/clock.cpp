#include "model/clock.hpp"

namespace chat {

std::int64_t secs_since_epoch(std::chrono::system_clock::time_point t) {
  auto since = t.time_since_epoch();
  if (since < std::chrono::system_clock::duration::zero()) return kFallbackNowSecs;
  return std::chrono::duration_cast<std::chrono::seconds>(since).count();
}

std::int64_t now_secs() {
  return secs_since_epoch(std::chrono::system_clock::now());
}

}  // namespace chat
