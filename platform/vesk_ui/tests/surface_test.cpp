#include "vesk_ui/surface.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using vesk_ui::Rect;

struct Canvas {
  cairo_surface_t* s;
  cairo_t* cr;
  vesk_ui::Painter p;
  double scale;
  Canvas(int w, int h, double scale_ = 1)
      : s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(w * scale_),
                                     static_cast<int>(h * scale_))),
        cr(cairo_create(s)),
        p(cr),
        scale(scale_) {
    cairo_scale(cr, scale, scale);
  }
  ~Canvas() {
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
  // Alpha at a logical point.
  int alpha(double x, double y) {
    cairo_surface_flush(s);
    const unsigned char* d = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    int px = static_cast<int>(x * scale), py = static_cast<int>(y * scale);
    return d[py * stride + px * 4 + 3];
  }
};

TEST(Surface, ShadowLiesOutsideTheShapeBelowAndFades) {
  auto t = vesk_ui::Theme::dark();
  for (double scale : {1.0, 2.0}) {
    for (double elevation : {1.0, 2.0}) {
      Canvas c(200, 160, scale);
      Rect card = Rect::from_xywh(40, 40, 120, 60);
      vesk_ui::surface::shadow(c.p, t, card, 10, elevation);
      SCOPED_TRACE(testing::Message() << "scale " << scale << " elevation " << elevation);
      // Nothing under the shape itself.
      EXPECT_EQ(c.alpha(100, 70), 0);
      EXPECT_EQ(c.alpha(45, 45), 0);
      // Darker just below the shape than just above it (light from above).
      EXPECT_GT(c.alpha(100, 101), c.alpha(100, 38));
      EXPECT_GT(c.alpha(100, 101), 0);
      // Symmetric left and right, and gone far away.
      EXPECT_EQ(c.alpha(39, 70), c.alpha(160.5, 70));
      EXPECT_EQ(c.alpha(5, 5), 0);
      EXPECT_EQ(c.alpha(100, 150), 0);
      // Along the stretched sides the shadow is uniform.
      EXPECT_EQ(c.alpha(80, 101), c.alpha(120, 101));
      EXPECT_EQ(c.alpha(38, 60), c.alpha(38, 80));
    }
  }
}

TEST(Surface, TinyShapesStillGetAShadow) {
  auto t = vesk_ui::Theme::dark();
  Canvas c(60, 60);
  vesk_ui::surface::shadow(c.p, t, Rect::from_xywh(20, 20, 8, 8), 10, 1);
  EXPECT_GT(c.alpha(24, 29), 0);
  EXPECT_EQ(c.alpha(24, 24), 0);
}

TEST(Surface, CardEdgeAndSeparatorPaintWhereExpected) {
  auto t = vesk_ui::Theme::dark();
  Canvas c(100, 100);
  vesk_ui::surface::card(c.p, t, Rect::from_xywh(10, 10, 50, 30), 6, 2);
  EXPECT_EQ(c.alpha(35, 25), 255);  // filled
  EXPECT_EQ(c.alpha(5, 5), 0);
  vesk_ui::surface::separator(c.p, t, 0, 100, 70.3);
  EXPECT_GT(c.alpha(50, 70), 200);  // one crisp pixel row
  EXPECT_EQ(c.alpha(50, 71), 0);
  EXPECT_EQ(c.alpha(50, 69), 0);
  vesk_ui::surface::edge_outline(c.p, t, Rect::from_xywh(70, 10, 20, 20), 0);
  EXPECT_GT(c.alpha(70, 20), 200);  // the edge is inside the rectangle
  EXPECT_EQ(c.alpha(69, 20), 0);
  EXPECT_EQ(c.alpha(80, 20), 0);
}

}  // namespace
