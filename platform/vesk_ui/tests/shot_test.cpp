// Screenshot frames: the frame steps, failures, and golden images of the
// gallery compared with a tolerance (fonts are pinned, so they are stable).

#include "vesk_ui/shot.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "gallery_scene.hpp"
#include "vesk_ui/launch.hpp"
#include "vesk_ui/painter.hpp"
#include "vesk_ui/text.hpp"
#include "vesk_ui/widget.hpp"

#ifndef VESK_UI_GOLDEN_DIR
#error "VESK_UI_GOLDEN_DIR must name the folder of golden images"
#endif

namespace {

namespace fs = std::filesystem;
using vesk_ui::ShotFrame;
using vesk_ui::Size;

std::shared_ptr<vesk_ui::TextRenderer> shared_text() {
  static auto text = std::make_shared<vesk_ui::TextRenderer>();
  return text;
}

fs::path temp_dir() {
  fs::path d = fs::temp_directory_path() / ("vesk_ui_shot_test_" + std::to_string(::getpid()));
  fs::create_directories(d);
  return d;
}

struct Diff {
  bool same_size = false;
  double mean = 0;       // mean absolute channel difference, 0..255
  double differing = 0;  // share of pixels with a channel off by more than 24
};

Diff compare(cairo_surface_t* a, cairo_surface_t* b) {
  Diff d;
  int w = cairo_image_surface_get_width(a), h = cairo_image_surface_get_height(a);
  if (w != cairo_image_surface_get_width(b) || h != cairo_image_surface_get_height(b)) return d;
  d.same_size = true;
  cairo_surface_flush(a);
  cairo_surface_flush(b);
  const unsigned char* pa = cairo_image_surface_get_data(a);
  const unsigned char* pb = cairo_image_surface_get_data(b);
  int sa = cairo_image_surface_get_stride(a), sb = cairo_image_surface_get_stride(b);
  double total = 0;
  long off = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int worst = 0;
      for (int c = 0; c < 4; ++c) {
        int delta = std::abs(pa[y * sa + x * 4 + c] - pb[y * sb + x * 4 + c]);
        total += delta;
        worst = std::max(worst, delta);
      }
      if (worst > 24) ++off;
    }
  }
  d.mean = total / (4.0 * w * h);
  d.differing = static_cast<double>(off) / (static_cast<double>(w) * h);
  return d;
}

ShotFrame render(const std::string& name, Size size, double scale) {
  auto frame = gallery::render_scenario(name, size, scale, shared_text());
  EXPECT_TRUE(frame.ok()) << (frame.ok() ? "" : frame.error());
  return std::move(frame).value();
}

TEST(ShotGolden, GalleryMatchesItsGoldenImages) {
  struct Case {
    const char* name;
    Size size;
    double scale;
    const char* golden;
  };
  const Case cases[] = {
      {"gallery", {960, 640}, 1, "gallery.png"},
      {"gallery-panel", {960, 640}, 1, "gallery-panel.png"},
      {"gallery", {640, 480}, 2, "gallery-small-2x.png"},
      {"gallery-hover", {960, 640}, 1, "gallery-hover.png"},
      {"gallery-widgets", {960, 640}, 1, "gallery-widgets.png"},
  };
  const char* update_env = std::getenv("VESK_UPDATE_GOLDENS");
  const bool update = update_env != nullptr && std::string(update_env) == "1";
  fs::path out_dir = temp_dir();
  for (const auto& c : cases) {
    ShotFrame frame = render(c.name, c.size, c.scale);
    fs::path golden = fs::path(VESK_UI_GOLDEN_DIR) / c.golden;
    if (update) {
      ASSERT_TRUE(frame.write_png(golden).ok());
      continue;
    }
    cairo_surface_t* want = cairo_image_surface_create_from_png(golden.c_str());
    ASSERT_EQ(cairo_surface_status(want), CAIRO_STATUS_SUCCESS) << "missing golden " << golden;
    Diff d = compare(frame.surface(), want);
    cairo_surface_destroy(want);
    if (!d.same_size || d.mean > 0.5 || d.differing > 0.002) {
      fs::path actual = out_dir / c.golden;
      (void)frame.write_png(actual);
      ADD_FAILURE() << c.golden << " differs (mean " << d.mean << ", " << d.differing * 100
                    << "% of pixels); actual image: " << actual;
    }
  }
  fs::remove_all(out_dir);
}

TEST(ShotGolden, TheComparisonNoticesARealChange) {
  // Guards the tolerance itself: a small visible change must fail it.
  ShotFrame a = render("gallery", {320, 200}, 1);
  ShotFrame b = render("gallery-hover", {320, 200}, 1);
  Diff d = compare(a.surface(), b.surface());
  ASSERT_TRUE(d.same_size);
  EXPECT_TRUE(d.mean > 0.5 || d.differing > 0.002) << d.mean << " " << d.differing;
  Diff same = compare(a.surface(), render("gallery", {320, 200}, 1).surface());
  EXPECT_EQ(same.mean, 0);
}

struct Recorder : vesk_ui::Widget {
  std::vector<std::string> calls;
  bool bad_layout = false;
  vesk_ui::Rect root;
  void sync(vesk_ui::SyncContext& ctx) override {
    calls.push_back("sync");
    EXPECT_EQ(ctx.document, nullptr);
    EXPECT_EQ(ctx.window, (Size{200, 100}));
  }
  vesk_ui::LayoutNode build_layout(const vesk_ui::LayoutContext&) override {
    calls.push_back("build_layout");
    auto n = vesk_ui::LayoutNode::fill();
    if (bad_layout) n.children.push_back(vesk_ui::LayoutNode::fixed("x", -5));
    return n;
  }
  void apply_layout(const vesk_ui::LayoutResult& r) override {
    calls.push_back("apply_layout");
    root = r.root();
  }
  void draw(vesk_ui::DrawContext& ctx) override {
    calls.push_back("draw");
    ctx.painter.fill_rect(vesk_ui::Rect::from_xywh(0, 0, 10, 10), {1, 0, 0, 1});
  }
  void draw_floating_surfaces(vesk_ui::DrawContext&) override { calls.push_back("floating"); }
};

TEST(ShotFrame, RunsTheFrameStepsAndScalesToDevicePixels) {
  auto frame = ShotFrame::create(vesk_ui::launch::shot_theme(), {200, 100}, 2, shared_text());
  ASSERT_TRUE(frame.ok());
  EXPECT_EQ(cairo_image_surface_get_width(frame->surface()), 400);
  EXPECT_EQ(cairo_image_surface_get_height(frame->surface()), 200);
  Recorder w;
  frame->sync(w);
  ASSERT_TRUE(frame->layout(w).ok());
  frame->draw(w);
  frame->draw_floating_surfaces(w);
  EXPECT_EQ(w.calls,
            (std::vector<std::string>{"sync", "build_layout", "apply_layout", "draw", "floating"}));
  EXPECT_EQ(w.root, vesk_ui::Rect::from_xywh(0, 0, 200, 100));
  // The 10x10 logical square covers 20x20 device pixels.
  const unsigned char* px = cairo_image_surface_get_data(frame->surface());
  int stride = cairo_image_surface_get_stride(frame->surface());
  EXPECT_EQ(px[19 * stride + 19 * 4 + 2], 255);  // red channel (BGRA)
  EXPECT_NE(px[21 * stride + 21 * 4 + 2], 255);
}

TEST(ShotFrame, FailuresAreReportedNotWritten) {
  auto theme = vesk_ui::launch::shot_theme();
  EXPECT_EQ(ShotFrame::create(theme, {0, 10}).error(), "the shot size must be at least 1x1");
  EXPECT_EQ(ShotFrame::create(theme, {10, 10}, 0).error(), "the shot scale must be above 0");
  EXPECT_EQ(ShotFrame::create(theme, {20000, 10}, 2).error(),
            "the shot is too large (40000x20 device pixels)");

  auto frame = ShotFrame::create(theme, {200, 100}, 1, shared_text());
  ASSERT_TRUE(frame.ok());
  Recorder w;
  w.bad_layout = true;
  frame->sync(w);
  auto st = frame->layout(w);
  ASSERT_FALSE(st.ok());
  EXPECT_EQ(st.error(), "layout node \"x\" has an invalid length");
  EXPECT_EQ(w.calls.back(), "build_layout");  // apply_layout never ran

  fs::path dir = temp_dir();
  fs::path missing = dir / "no-such-dir" / "out.png";
  auto written = frame->write_png(missing);
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().rfind("cannot write " + missing.string() + ": ", 0), 0u);
  EXPECT_EQ(frame->write_png("").error(), "missing screenshot output");

  fs::path ok = dir / "out.png";
  ASSERT_TRUE(frame->write_png(ok).ok());
  EXPECT_GT(fs::file_size(ok), 100u);
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
  fs::remove_all(dir);
}

}  // namespace
