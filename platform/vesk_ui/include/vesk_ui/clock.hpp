#pragma once
// One monotonic clock for frames, transitions and animations. Functions that
// depend on time take the instant as an argument so tests can drive them.

#include <chrono>

namespace vesk_ui {

using Clock = std::chrono::steady_clock;
using Instant = Clock::time_point;
using Millis = std::chrono::duration<double, std::milli>;

inline Instant now() {
  return Clock::now();
}

}  // namespace vesk_ui
