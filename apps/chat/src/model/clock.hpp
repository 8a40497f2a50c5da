#pragma once
// The current time as the chat records it: whole seconds since the Unix epoch.

#include <chrono>
#include <cstdint>

namespace chat {

// The instant used when the clock reads before the epoch, and the reference
// for day labels.
inline constexpr std::int64_t kFallbackNowSecs = 1782477600;

std::int64_t now_secs();
// The same rule for a given clock reading.
std::int64_t secs_since_epoch(std::chrono::system_clock::time_point t);

}  // namespace chat
