#pragma once
// Text: shaping and drawing with Pango over a private fontconfig set of the
// pinned fonts, so the same text looks the same on every machine.
//
// Sizes are logical pixels before the theme's UI scale: the renderer
// multiplies them by its UI scale, and every measure answers logical pixels.
// Weights: 0 regular, 1 medium, 2 bold, 3 heavy.
//
// Shaped text is cached: drawing or measuring the same text with the same
// size, weight and width again does not shape it again.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vesk_ui/color.hpp"
#include "vesk_ui/geometry.hpp"

namespace vesk_ui {

class Painter;
class TextRenderer;

inline constexpr double kNoWrap = std::numeric_limits<double>::infinity();

namespace text_metrics {
// The height of one line of text of `font_size` at `ui_scale` (a scale that
// is not a positive number counts as 1). Every layout uses exactly this line
// height, so n wrapped lines are n times as high.
double line_height_px(double font_size, double ui_scale);
}  // namespace text_metrics

// A styled range of a rich text, in bytes of its UTF-8 text.
struct TextSpan {
  std::size_t start = 0;
  std::size_t end = 0;
  std::optional<int> weight;
  std::optional<Color> color;
  std::optional<Color> background;
};

// Text with styled spans, shaped once for a width and drawn many times.
// Spans that run past the end, are reversed or do not start and end on
// character boundaries are ignored.
class RichTextLayout {
 public:
  RichTextLayout(std::string text, double size, Color color, std::vector<TextSpan> spans = {},
                 int weight = 0);
  ~RichTextLayout();
  RichTextLayout(RichTextLayout&&) noexcept;
  RichTextLayout& operator=(RichTextLayout&&) noexcept;
  RichTextLayout(const RichTextLayout&) = delete;
  RichTextLayout& operator=(const RichTextLayout&) = delete;

  // Shapes for `max_width` (kNoWrap: one line per paragraph). Does nothing
  // when already shaped for this width by a renderer with the same fonts
  // and scale.
  void shape(TextRenderer& renderer, double max_width);
  bool is_shaped() const;
  double height() const;  // 0 before shape()
  Size size() const;
  int line_count() const;
  const std::string& text() const { return text_; }

 private:
  friend class TextRenderer;
  std::string text_;
  double size_;
  Color color_;
  int weight_;
  std::vector<TextSpan> spans_;
  struct Shaped;
  std::unique_ptr<Shaped> shaped_;
};

struct TextCacheStats {
  std::uint64_t shapes = 0;  // texts shaped (cache misses)
  std::uint64_t hits = 0;
  std::size_t entries = 0;
};

class TextRenderer {
 public:
  // Uses the pinned fonts plus `extra_fonts`; when none of them can be
  // loaded it falls back to the system's fontconfig setup (with a warning).
  explicit TextRenderer(std::vector<std::filesystem::path> extra_fonts = {});
  ~TextRenderer();
  TextRenderer(const TextRenderer&) = delete;
  TextRenderer& operator=(const TextRenderer&) = delete;

  void set_ui_scale(double ui_scale);
  double ui_scale() const;

  // Size of `text` at `size`, wrapped at `max_width` when given.
  Size measure(std::string_view text, double size, double max_width = kNoWrap);
  Size measure_weighted(std::string_view text, double size, int weight, double max_width = kNoWrap);
  // Draws with the top-left corner of the first line at `top_left`, wrapped at
  // `max_width`; answers the drawn size.
  Size draw_text_weighted(Painter& p, std::string_view text, Point top_left, double size,
                          int weight, Color color, double max_width = kNoWrap);
  Size draw_text(Painter& p, std::string_view text, Point top_left, double size, Color color,
                 double max_width = kNoWrap) {
    return draw_text_weighted(p, text, top_left, size, 0, color, max_width);
  }
  // One line cut to `max_width` with an ellipsis when it does not fit.
  Size draw_text_ellipsized(Painter& p, std::string_view text, Point top_left, double size,
                            int weight, Color color, double max_width);
  Size measure_ellipsized(std::string_view text, double size, int weight, double max_width);
  // Draws a shaped rich text (shapes it unwrapped first if it is not).
  void draw_rich(Painter& p, RichTextLayout& layout, Point top_left);

  double line_height(double size) const;
  // Changes whenever measurements could change (fonts, UI scale): keys caches
  // of widths kept outside the renderer.
  std::uint32_t fingerprint() const;

  TextCacheStats cache_stats() const;
  void clear_cache();
  // The font files in use, for diagnostics.
  std::vector<std::filesystem::path> font_files() const;

  struct Impl;

 private:
  friend class RichTextLayout;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk_ui
