#include "vesk_ui/transition.hpp"

#include <gtest/gtest.h>

#include "vesk_ui/theme.hpp"

namespace {

using namespace std::chrono_literals;
using vesk_ui::Transition;

TEST(Transition, MovesOverTheThemeDurationWithEasing) {
  auto theme = vesk_ui::Theme::dark();
  theme.motion.normal_ms = 200;
  vesk_ui::Instant t0{};
  Transition tr = Transition::closed(theme);
  EXPECT_EQ(tr.value(t0), 0);
  EXPECT_FALSE(tr.is_animating(t0));

  tr.set_open(true, theme, t0);
  EXPECT_TRUE(tr.is_open());
  EXPECT_EQ(tr.value(t0), 0);
  EXPECT_TRUE(tr.is_animating(t0 + 100ms));
  double prev = 0;
  for (int ms = 10; ms <= 200; ms += 10) {
    double v = tr.value(t0 + std::chrono::milliseconds(ms));
    EXPECT_GT(v, prev) << ms;
    prev = v;
  }
  // Ease-out: more than half-way at half the time.
  EXPECT_GT(tr.value(t0 + 100ms), 0.5);
  EXPECT_EQ(tr.value(t0 + 200ms), 1);
  EXPECT_FALSE(tr.is_animating(t0 + 200ms));
  EXPECT_EQ(tr.value(t0 + 5s), 1);

  // Setting the same target again restarts nothing.
  tr.set_open(true, theme, t0 + 300ms);
  EXPECT_FALSE(tr.is_animating(t0 + 300ms));
}

TEST(Transition, ReversalStartsFromTheCurrentValue) {
  auto theme = vesk_ui::Theme::dark();
  theme.motion.normal_ms = 200;
  vesk_ui::Instant t0{};
  Transition tr;
  tr.set_open(true, theme, t0);
  double mid = tr.value(t0 + 50ms);
  tr.set_open(false, theme, t0 + 50ms);
  EXPECT_NEAR(tr.value(t0 + 50ms), mid, 1e-12);  // no jump
  EXPECT_LT(tr.value(t0 + 60ms), mid);
  // The way back is as long as the distance covered: mid * 200 ms.
  EXPECT_TRUE(tr.is_animating(t0 + 50ms + std::chrono::milliseconds(int(mid * 200) - 5)));
  EXPECT_EQ(tr.value(t0 + 50ms + std::chrono::milliseconds(int(mid * 200) + 1)), 0);
}

TEST(Transition, ReducedMotionJumps) {
  auto theme = vesk_ui::Theme::dark();
  theme.reduced_motion = true;
  vesk_ui::Instant t0{};
  Transition tr = Transition::closed(theme);
  tr.set_open(true, theme, t0);
  EXPECT_EQ(tr.value(t0), 1);
  EXPECT_FALSE(tr.is_animating(t0));
  Transition open = Transition::open(theme);
  EXPECT_EQ(open.value(t0), 1);
  open.set_open(false, theme, t0);
  EXPECT_EQ(open.value(t0), 0);
}

}  // namespace
