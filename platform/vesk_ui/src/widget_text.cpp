#include "widget_text.hpp"

#include <algorithm>

namespace vesk_ui::text {

LayoutPtr new_layout() {
  PangoFontMap* map = pinned_font_map();
  PangoContext* ctx = pango_font_map_create_context(map);
  cairo_font_options_t* opts = cairo_font_options_create();
  cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(ctx, opts);
  cairo_font_options_destroy(opts);
  pango_context_set_round_glyph_positions(ctx, FALSE);
  LayoutPtr layout(pango_layout_new(ctx));
  g_object_unref(ctx);
  return layout;
}

void set_font(PangoLayout* layout, const std::string& family, double size_px, bool bold) {
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, family.c_str());
  pango_font_description_set_absolute_size(desc, size_px * PANGO_SCALE);
  if (bold) pango_font_description_set_weight(desc, PANGO_WEIGHT_BOLD);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
}

LayoutPtr line(std::string_view text, const std::string& family, double size_px, bool bold) {
  LayoutPtr l = new_layout();
  set_font(l.get(), family, size_px, bold);
  pango_layout_set_text(l.get(), text.data(), static_cast<int>(text.size()));
  pango_layout_set_single_paragraph_mode(l.get(), TRUE);
  return l;
}

Size pixel_size(PangoLayout* layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return Size{static_cast<double>(logical.width) / PANGO_SCALE,
              static_cast<double>(logical.height) / PANGO_SCALE};
}

void fill_range(cairo_t* cr, PangoLayout* layout, Point origin, std::size_t start,
                std::size_t end) {
  if (end <= start) return;
  PangoLayoutIter* it = pango_layout_get_iter(layout);
  do {
    PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
    const auto ls = static_cast<std::size_t>(line->start_index);
    const auto le = ls + static_cast<std::size_t>(line->length);
    int y0 = 0;
    int y1 = 0;
    pango_layout_iter_get_line_yrange(it, &y0, &y1);
    const std::size_t a = std::max(start, ls);
    const std::size_t b = std::min(end, le);
    int* ranges = nullptr;
    int n = 0;
    if (a < b) {
      pango_layout_line_get_x_ranges(line, static_cast<int>(a), static_cast<int>(b), &ranges, &n);
    }
    // A selection running over a line break shows a sliver past the line.
    const bool spans_break = end > le && start <= le;
    for (int i = 0; i < n; ++i) {
      const double x0 = static_cast<double>(ranges[2 * i]) / PANGO_SCALE;
      const double x1 = static_cast<double>(ranges[2 * i + 1]) / PANGO_SCALE;
      cairo_rectangle(cr, origin.x + x0, origin.y + static_cast<double>(y0) / PANGO_SCALE, x1 - x0,
                      static_cast<double>(y1 - y0) / PANGO_SCALE);
    }
    if (spans_break && pango_layout_iter_at_last_line(it) == FALSE) {
      PangoRectangle logical;
      pango_layout_iter_get_line_extents(it, nullptr, &logical);
      const double x = static_cast<double>(logical.x + logical.width) / PANGO_SCALE;
      cairo_rectangle(cr, origin.x + x, origin.y + static_cast<double>(y0) / PANGO_SCALE, 5,
                      static_cast<double>(y1 - y0) / PANGO_SCALE);
    }
    g_free(ranges);
  } while (pango_layout_iter_next_line(it));
  pango_layout_iter_free(it);
  cairo_fill(cr);
}

}  // namespace vesk_ui::text
