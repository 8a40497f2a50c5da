#pragma once
// Transition: an eased 0..1 value that follows an open/closed target over the
// theme's motion duration, and jumps at once under reduced motion.

#include "vesk_ui/clock.hpp"

namespace vesk_ui {

struct Theme;

class Transition {
 public:
  // Settled closed (0) with the default duration.
  Transition() = default;
  static Transition open(const Theme& theme);    // settled at 1
  static Transition closed(const Theme& theme);  // settled at 0

  // Starts moving towards the target from wherever the value is now; a
  // reversal half-way takes half the duration. Setting the current target
  // again changes nothing. Under the theme's reduced motion it jumps.
  void set_open(bool open, const Theme& theme, Instant at = now());

  bool is_open() const { return to_ == 1; }
  // 0 closed .. 1 open, eased (cubic ease-out), at the given instant.
  double value(Instant at = now()) const;
  bool is_animating(Instant at = now()) const;

 private:
  double progress(Instant at) const;
  double from_ = 0;
  double to_ = 0;
  Instant start_{};
  double duration_ms_ = 0;  // of the current move; 0 when settled
};

}  // namespace vesk_ui
