#include "vesk_ui/color.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <tuple>

#include "vesk_ui/presence.hpp"
#include "vesk_ui/theme.hpp"

namespace {

using vesk_ui::Color;
namespace color = vesk_ui::color;

TEST(Color, LuminanceAndContrastFollowWcag) {
  EXPECT_DOUBLE_EQ(color::relative_luminance(Color::rgb(0x000000)), 0);
  EXPECT_DOUBLE_EQ(color::relative_luminance(Color::rgb(0xffffff)), 1);
  EXPECT_NEAR(color::relative_luminance(Color::rgb(0x777777)), 0.1845, 1e-3);
  EXPECT_NEAR(color::relative_luminance(Color::rgb(0xff0000)), 0.2126, 1e-9);
  EXPECT_NEAR(color::contrast_ratio(Color::rgb(0x000000), Color::rgb(0xffffff)), 21, 1e-9);
  // #767676 on white is the classic just-passing AA grey (4.54:1).
  EXPECT_NEAR(color::contrast_ratio(Color::rgb(0x767676), Color::rgb(0xffffff)), 4.54, 0.01);
  const Color samples[] = {Color::rgb(0x123456), Color::rgb(0xabcdef), Color::rgb(0x5b7cfa)};
  for (auto a : samples) {
    EXPECT_DOUBLE_EQ(color::contrast_ratio(a, a), 1);
    for (auto b : samples)
      EXPECT_DOUBLE_EQ(color::contrast_ratio(a, b), color::contrast_ratio(b, a));
  }
}

TEST(Color, HexAndMixing) {
  Color c = Color::rgba(0x336699cc);
  EXPECT_NEAR(c.r, 0x33 / 255.0, 1e-12);
  EXPECT_NEAR(c.a, 0xcc / 255.0, 1e-12);
  EXPECT_EQ(color::mix(Color::rgb(0), Color::rgb(0xffffff), 2), Color::rgb(0xffffff));  // clamped
  Color half = color::over(Color{1, 1, 1, 0.5}, Color::rgb(0));
  EXPECT_NEAR(half.g, 0.5, 1e-12);
  EXPECT_EQ(half.a, 1);
}

TEST(Theme, LiftHairlineAndTextOnSurfaces) {
  auto t = vesk_ui::Theme::dark();
  const auto& c = t.colors;
  Color lifted = c.lift(c.raised.with_alpha(0.4), 0.1);
  EXPECT_GT(color::relative_luminance(lifted), color::relative_luminance(c.raised));
  EXPECT_DOUBLE_EQ(lifted.a, 0.4);
  // A light theme lifts the other way.
  vesk_ui::Colors light = c;
  light.dark = false;
  EXPECT_LT(color::relative_luminance(light.lift(Color::rgb(0xeeeeee))),
            color::relative_luminance(Color::rgb(0xeeeeee)));

  for (int level = 0; level <= 3; ++level) {
    Color s = t.surface(level);
    double hc = color::contrast_ratio(c.hairline_on(s), s);
    EXPECT_GT(hc, 1.15) << "hairline invisible on level " << level;
    EXPECT_LT(hc, 3) << "hairline too loud on level " << level;
    EXPECT_GE(color::contrast_ratio(t.on_surface(s), s), 4.5) << level;
    if (level > 0) {
      EXPECT_GT(color::relative_luminance(s), color::relative_luminance(t.surface(level - 1)));
    }
  }
  EXPECT_EQ(t.surface(-3), c.base);
  EXPECT_EQ(t.surface(9), c.floating);
  // Surfaces where the theme's own text would not read get black or white.
  for (auto bg : {Color::rgb(0xffffff), Color::rgb(0xf2a65a), Color::rgb(0xe5c453)}) {
    EXPECT_GE(color::contrast_ratio(t.on_surface(bg), bg), 4.5);
  }
  EXPECT_GE(color::contrast_ratio(c.text, c.base), 7);
  EXPECT_GE(color::contrast_ratio(c.text_dim, c.base), 4.5);
  EXPECT_GE(color::contrast_ratio(c.on_accent, c.accent), 3);
}

TEST(Theme, EffectiveUiScale) {
  auto t = vesk_ui::Theme::dark();
  const std::tuple<double, double> cases[] = {{1, 1},
                                              {2, 2},
                                              {1.25, 1.25},
                                              {0.5, 1},
                                              {0, 1},
                                              {-3, 1},
                                              {std::numeric_limits<double>::quiet_NaN(), 1}};
  for (auto [in, out] : cases) {
    t.ui_scale = in;
    EXPECT_EQ(t.effective_ui_scale(), out) << in;
  }
}

TEST(Presence, PaletteColoursAndSelf) {
  const auto& p = vesk_ui::presence::palette();
  auto t = vesk_ui::Theme::dark();
  std::set<std::tuple<double, double, double>> distinct;
  for (const auto& c : p) {
    distinct.insert({c.r, c.g, c.b});
    EXPECT_GE(color::contrast_ratio(c, t.colors.base), 3) << "palette colour unreadable";
  }
  EXPECT_EQ(distinct.size(), 8u);
  EXPECT_EQ(vesk_ui::presence::user_color(8), p[0]);
  EXPECT_EQ(vesk_ui::presence::user_color(13), p[5]);

  vesk_ui::PresenceCtx ctx("u_me", "Me Myself", 3);
  EXPECT_EQ(ctx.color_for("u_me", 6), p[3]);  // self keeps its own colour
  EXPECT_EQ(ctx.color_for("u_other", 6), p[6]);
  EXPECT_EQ(ctx.self_name(), "Me Myself");
  EXPECT_FALSE(vesk_ui::PresenceCtx().is_self(""));

  using vesk_ui::PresenceStatus;
  EXPECT_EQ(vesk_ui::presence::status_color(PresenceStatus::Online, t), t.colors.success);
  EXPECT_EQ(vesk_ui::presence::status_color(PresenceStatus::Dnd, t), t.colors.danger);
  EXPECT_NE(vesk_ui::presence::status_color(PresenceStatus::Idle, t),
            vesk_ui::presence::status_color(PresenceStatus::Offline, t));
}

}  // namespace
