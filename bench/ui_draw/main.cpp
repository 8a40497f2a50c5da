// Draws a text-heavy 1280x800 frame (60 wrapped paragraphs with emoji over
// 40 cards) 200 times through the same frame steps as the window, and
// prints one JSON line: {"frame_ms_p50","frame_ms_p99","first_frame_ms"}.
// The first frame shapes every text; the others find it in the cache.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "vesk_ui/launch.hpp"
#include "vesk_ui/painter.hpp"
#include "vesk_ui/presence.hpp"
#include "vesk_ui/shot.hpp"
#include "vesk_ui/surface.hpp"
#include "vesk_ui/text.hpp"
#include "vesk_ui/widget.hpp"

namespace {

using namespace vesk_ui;

constexpr int kParagraphs = 60;
constexpr int kCards = 40;
constexpr int kFrames = 200;

const char* const kWords[] = {"shipping", "the",   "composer", "on",     "shared", "input",
                              "caret",    "🎉",     "review",   "grid",   "huddle", "🚀",
                              "west",     "coast", "folks",    "✨",      "moving", "3pm",
                              "design",   "👍",     "handoff",  "screen", "share",  "today"};

std::string paragraph(int i) {
  std::string s = "#" + std::to_string(i) + " ";
  unsigned x = 2654435761u * static_cast<unsigned>(i + 1);
  for (int w = 0; w < 16 + i % 9; ++w) {
    x = x * 1103515245u + 12345u;
    s += kWords[(x >> 8) % std::size(kWords)];
    s += ' ';
  }
  return s;
}

class BenchScene : public Widget {
 public:
  BenchScene() {
    for (int i = 0; i < kParagraphs; ++i) texts_.push_back(paragraph(i));
  }
  void apply_layout(const LayoutResult& layout) override { root_ = layout.root(); }
  void draw(DrawContext& ctx) override {
    Painter& p = ctx.painter;
    const Theme& t = ctx.theme;
    const double col_w = (root_.width() - 48) / 3;
    // Cards: rows of the three columns.
    for (int i = 0; i < kCards; ++i) {
      int col = i % 3, row = i / 3;
      Rect r = Rect::from_xywh(12 + col * (col_w + 12), 10 + row * 56, col_w, 50);
      surface::shadow(p, t, r, 10, 1);
      surface::card(p, t, r, 10, 1 + i % 3);
      p.fill_circle({r.x0 + 22, r.y0 + 25}, 13, presence::user_color(static_cast<unsigned>(i)));
    }
    // Paragraphs over them, wrapped to the column width.
    double y[3] = {12, 12, 12};
    for (int i = 0; i < kParagraphs; ++i) {
      int col = i % 3;
      double x = 12 + col * (col_w + 12) + 42;
      Size s = ctx.text.draw_text(p, texts_[static_cast<std::size_t>(i)], {x, y[col]}, 12.5,
                                  i % 5 == 0 ? t.colors.text_dim : t.colors.text, col_w - 52);
      y[col] += s.h + 2;
    }
    ctx.text.draw_text_weighted(p, "ui_draw", {root_.x1 - 90, root_.y1 - 24}, 13, 2,
                                t.colors.accent);
  }

 private:
  Rect root_;
  std::vector<std::string> texts_;
};

double thread_cpu_ms() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double percentile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  auto idx = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(idx, v.size() - 1)];
}

}  // namespace

int main() {
  auto frame = ShotFrame::create(launch::shot_theme(), {1280, 800}, 1);
  if (!frame.ok()) {
    std::fprintf(stderr, "ui_draw: %s\n", frame.error().c_str());
    return 1;
  }
  BenchScene scene;
  // Wall time is the figure; thread CPU time beside it tells a slow frame
  // from a frame that waited for a busy machine's CPU.
  std::vector<double> ms, cpu_ms;
  ms.reserve(kFrames);
  cpu_ms.reserve(kFrames);
  for (int i = 0; i < kFrames; ++i) {
    double c0 = thread_cpu_ms();
    auto t0 = std::chrono::steady_clock::now();
    frame->sync(scene);
    if (!frame->layout(scene).ok()) return 1;
    frame->draw(scene);
    frame->draw_floating_surfaces(scene);
    auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    cpu_ms.push_back(thread_cpu_ms() - c0);
  }
  if (const char* out = std::getenv("UI_DRAW_PNG")) (void)frame->write_png(out);
  std::vector<double> warm(ms.begin() + 1, ms.end());
  std::vector<double> warm_cpu(cpu_ms.begin() + 1, cpu_ms.end());
  auto stats = frame->text().cache_stats();
  std::printf(
      "{\"frame_ms_p50\":%.3f,\"frame_ms_p99\":%.3f,\"first_frame_ms\":%.3f,"
      "\"frame_cpu_ms_p50\":%.3f,\"frame_cpu_ms_p99\":%.3f,\"frames\":%d,\"texts_shaped\":%llu}\n",
      percentile(warm, 0.5), percentile(warm, 0.99), ms.front(), percentile(warm_cpu, 0.5),
      percentile(warm_cpu, 0.99), kFrames, static_cast<unsigned long long>(stats.shapes));
  return 0;
}
