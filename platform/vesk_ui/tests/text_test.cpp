#include "vesk_ui/text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "vesk_ui/painter.hpp"

namespace {

using vesk_ui::Point;
using vesk_ui::RichTextLayout;
using vesk_ui::TextRenderer;
using vesk_ui::TextSpan;
namespace text_metrics = vesk_ui::text_metrics;

// Fonts load once for the whole suite.
TextRenderer& renderer() {
  static TextRenderer r;
  return r;
}

struct Canvas {
  cairo_surface_t* s;
  cairo_t* cr;
  vesk_ui::Painter p;
  Canvas(int w, int h)
      : s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)), cr(cairo_create(s)), p(cr) {}
  ~Canvas() {
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
};

TEST(Text, LineHeightIsAPureFunctionOfSizeAndScale) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double size, scale, expected;
  };
  const Case cases[] = {{13, 1, 18},   {15, 1, 21},  {13, 2, 36}, {13, 0, 18},
                        {13, nan, 18}, {13, -1, 18}, {0, 1, 0},   {nan, 1, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(text_metrics::line_height_px(c.size, c.scale), c.expected)
        << c.size << " " << c.scale;
  }
}

TEST(Text, UsesThePinnedFonts) {
  auto files = renderer().font_files();
  ASSERT_GE(files.size(), 4u);
  bool emoji = false, sans = false;
  for (const auto& f : files) {
    emoji |= f.filename() == "NotoColorEmoji.ttf";
    sans |= f.filename() == "NotoSans-Regular.ttf";
  }
  EXPECT_TRUE(emoji);
  EXPECT_TRUE(sans);
}

TEST(Text, MeasuresWrapAndWeight) {
  auto& r = renderer();
  r.set_ui_scale(1);
  auto short_ = r.measure("Hello", 14);
  auto long_ = r.measure("Hello, world", 14);
  EXPECT_GT(short_.w, 20);
  EXPECT_GT(long_.w, short_.w);
  EXPECT_EQ(short_.h, text_metrics::line_height_px(14, 1));
  EXPECT_GT(r.measure_weighted("Hello", 14, 2).w, short_.w);  // bold is wider
  EXPECT_GT(r.measure("Hello", 20).w, short_.w);
  EXPECT_EQ(r.measure("", 14).w, 0);
  EXPECT_EQ(r.measure("", 14).h, 0);
  EXPECT_EQ(r.measure("x", 0).w, 0);

  // Wrapping: every line holds exactly one line height.
  std::string para;
  for (int i = 0; i < 30; ++i) para += "word ";
  auto one = r.measure(para, 14);
  auto wrapped = r.measure(para, 14, 200);
  EXPECT_LE(wrapped.w, 200);
  double lines = wrapped.h / text_metrics::line_height_px(14, 1);
  EXPECT_EQ(lines, std::floor(lines));
  EXPECT_GE(lines, std::ceil(one.w / 200));
  // A word longer than the width breaks inside, never overflows.
  EXPECT_LE(r.measure(std::string(80, 'W'), 14, 100).w, 100);

  // Deterministic: a second renderer measures the same.
  TextRenderer other;
  EXPECT_EQ(other.measure(para, 14, 200), wrapped);
}

TEST(Text, UiScaleScalesMeasurementsAndChangesTheFingerprint) {
  TextRenderer r;
  auto fp1 = r.fingerprint();
  auto s1 = r.measure("Scaled text", 13);
  r.set_ui_scale(2);
  EXPECT_NE(r.fingerprint(), fp1);
  auto s2 = r.measure("Scaled text", 13);
  EXPECT_NEAR(s2.w, 2 * s1.w, 0.05 * s1.w);
  EXPECT_EQ(s2.h, text_metrics::line_height_px(13, 2));
  r.set_ui_scale(1);
  EXPECT_EQ(r.fingerprint(), fp1);
  r.set_ui_scale(std::numeric_limits<double>::quiet_NaN());  // counts as 1
  EXPECT_EQ(r.fingerprint(), fp1);
}

TEST(Text, RedrawingUnchangedTextShapesNothing) {
  TextRenderer r;
  Canvas c(400, 200);
  auto frame = [&] {
    r.draw_text(c.p, "Title", {10, 10}, 17, {1, 1, 1, 1});
    r.draw_text_weighted(c.p, "Body text that wraps", {10, 40}, 14, 0, {1, 1, 1, 1}, 120);
    r.measure("Title", 17);
    r.draw_text_ellipsized(c.p, "An ellipsized line", {10, 90}, 13, 0, {1, 1, 1, 1}, 60);
  };
  frame();
  auto first = r.cache_stats();
  EXPECT_EQ(first.shapes, 3u);  // measure("Title", 17) reused the drawn one
  frame();
  frame();
  auto later = r.cache_stats();
  EXPECT_EQ(later.shapes, first.shapes);
  EXPECT_EQ(later.hits, first.hits + 8);
  // A new colour is not a new shape; a new width or weight is.
  r.draw_text(c.p, "Title", {10, 10}, 17, {1, 0, 0, 1});
  EXPECT_EQ(r.cache_stats().shapes, first.shapes);
  r.draw_text_weighted(c.p, "Body text that wraps", {10, 40}, 14, 0, {1, 1, 1, 1}, 121);
  r.draw_text_weighted(c.p, "Title", {10, 10}, 17, 2, {1, 1, 1, 1});
  EXPECT_EQ(r.cache_stats().shapes, first.shapes + 2);
}

TEST(Text, RichTextShapesOnceAndSurvivesBadSpans) {
  auto& r = renderer();
  r.set_ui_scale(1);
  std::string text = "Hi @grace, see #frontend ✨";
  RichTextLayout rich(text, 14, {1, 1, 1, 1},
                      {TextSpan{3, 9, 2, vesk_ui::Color::rgb(0x5b7cfa), std::nullopt},
                       TextSpan{15, 24, std::nullopt, std::nullopt, vesk_ui::Color{1, 1, 1, 0.2}},
                       TextSpan{20, 500, 2, std::nullopt, std::nullopt},   // past the end
                       TextSpan{9, 3, 2, std::nullopt, std::nullopt},      // reversed
                       TextSpan{26, 27, 2, std::nullopt, std::nullopt}});  // inside "✨"
  EXPECT_EQ(rich.height(), 0);
  auto before = r.cache_stats().shapes;
  rich.shape(r, 1000);
  EXPECT_EQ(rich.height(), text_metrics::line_height_px(14, 1));
  EXPECT_EQ(rich.line_count(), 1);
  rich.shape(r, 1000);
  EXPECT_EQ(r.cache_stats().shapes, before + 1);
  rich.shape(r, 60);
  EXPECT_GT(rich.line_count(), 1);
  EXPECT_EQ(rich.height(), rich.line_count() * text_metrics::line_height_px(14, 1));

  // Invalid UTF-8 is repaired (spans dropped) instead of reaching Pango.
  RichTextLayout broken(std::string("ok \xff\xfe end"), 14, {1, 1, 1, 1},
                        {TextSpan{0, 2, 2, std::nullopt, std::nullopt}});
  broken.shape(r, vesk_ui::kNoWrap);
  EXPECT_GT(broken.size().w, 0);
  EXPECT_GT(r.measure(std::string("bad \xc3 byte"), 14).w, 0);

  Canvas c(300, 100);
  r.draw_rich(c.p, rich, {0, 0});
  RichTextLayout unshaped("drawn without shape()", 12, {1, 1, 1, 1});
  r.draw_rich(c.p, unshaped, {0, 50});
  EXPECT_TRUE(unshaped.is_shaped());
}

TEST(Text, EmojiDrawInColour) {
  auto& r = renderer();
  r.set_ui_scale(1);
  Canvas c(64, 64);
  c.p.clear({0, 0, 0, 1});
  auto size = r.draw_text(c.p, "🎉", {4, 4}, 32, {1, 1, 1, 1});
  EXPECT_GT(size.w, 20);
  EXPECT_LT(size.w, 60);  // scaled to the font size, not the bitmap strike
  cairo_surface_flush(c.s);
  const unsigned char* px = cairo_image_surface_get_data(c.s);
  int stride = cairo_image_surface_get_stride(c.s);
  int coloured = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const unsigned char* p = px + y * stride + x * 4;  // B G R A
      int mx = std::max({p[0], p[1], p[2]}), mn = std::min({p[0], p[1], p[2]});
      if (mx - mn > 60) ++coloured;
    }
  }
  EXPECT_GT(coloured, 100) << "emoji drew without colour";
}

}  // namespace
