#include "vesk_ui/transition.hpp"

#include <algorithm>
#include <cmath>

#include "vesk_ui/theme.hpp"

namespace vesk_ui {

Transition Transition::open(const Theme& /*theme*/) {
  Transition t;
  t.from_ = t.to_ = 1;
  return t;
}

Transition Transition::closed(const Theme& /*theme*/) {
  return Transition{};
}

double Transition::progress(Instant at) const {
  if (duration_ms_ <= 0) return 1;
  double elapsed = Millis(at - start_).count();
  return std::clamp(elapsed / duration_ms_, 0.0, 1.0);
}

double Transition::value(Instant at) const {
  double t = progress(at);
  double eased = 1 - std::pow(1 - t, 3);
  return from_ + (to_ - from_) * eased;
}

bool Transition::is_animating(Instant at) const {
  return progress(at) < 1;
}

void Transition::set_open(bool open, const Theme& theme, Instant at) {
  double target = open ? 1 : 0;
  if (target == to_) return;
  double current = value(at);
  from_ = current;
  to_ = target;
  start_ = at;
  double full = theme.motion.normal_ms;
  if (theme.reduced_motion || !(full > 0) || !std::isfinite(full)) {
    from_ = to_;
    duration_ms_ = 0;
    return;
  }
  duration_ms_ = full * std::abs(to_ - from_);
}

}  // namespace vesk_ui
