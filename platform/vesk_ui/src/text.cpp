#include "vesk_ui/text.hpp"

#include <fontconfig/fontconfig.h>
#include <glib.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <unordered_map>

#include "base/log.hpp"
#include "vesk_ui/painter.hpp"
#include "widget_text.hpp"

namespace vesk_ui {

namespace text_metrics {

double line_height_px(double font_size, double ui_scale) {
  if (!(ui_scale > 0) || !std::isfinite(ui_scale)) ui_scale = 1;
  if (!(font_size > 0) || !std::isfinite(font_size)) return 0;
  // 1.36 em holds Noto Sans' ascent and descent; whole pixels keep rows on
  // the grid. Lines are placed on this pitch whatever their content, so a
  // line with taller emoji never pushes the next one down.
  return std::ceil(font_size * ui_scale * 1.36);
}

}  // namespace text_metrics

namespace {

// The pinned fonts (Debian: fonts-noto-core, fonts-noto-color-emoji,
// fonts-dejavu-core, fonts-droid-fallback). Order matters only for reading.
const char* const kPinnedFonts[] = {
    "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf",
    "/usr/share/fonts/truetype/noto/NotoSans-Bold.ttf",
    "/usr/share/fonts/truetype/noto/NotoSans-Italic.ttf",
    "/usr/share/fonts/truetype/noto/NotoSans-BoldItalic.ttf",
    "/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf",
};
// Fallback order: the sans for letters, DejaVu for symbols Noto Sans lacks,
// colour emoji, then the wide fallback (full-width forms, CJK).
// Bitmap fonts (the colour emoji) come in fixed strikes; scale the chosen
// strike to the requested pixel size, as desktop fontconfig setups do.
constexpr const char* kBitmapScaling = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <match target="font">
    <test name="outline" compare="eq"><bool>false</bool></test>
    <edit name="pixelsizefixupfactor" mode="assign">
      <divide><name target="pattern">pixelsize</name><name target="font">pixelsize</name></divide>
    </edit>
  </match>
  <match target="font">
    <test name="outline" compare="eq"><bool>false</bool></test>
    <test name="pixelsizefixupfactor" compare="not_eq"><double>1.0</double></test>
    <edit name="matrix" mode="assign">
      <times><name>matrix</name>
        <matrix><name>pixelsizefixupfactor</name><double>0</double>
                <double>0</double><name>pixelsizefixupfactor</name></matrix>
      </times>
    </edit>
    <edit name="size" mode="assign"><divide><name>size</name><name>pixelsizefixupfactor</name></divide></edit>
  </match>
</fontconfig>
)";

constexpr const char* kFamilies = "Noto Sans,DejaVu Sans,Noto Color Emoji,Droid Sans Fallback";

PangoWeight pango_weight(int weight) {
  switch (std::clamp(weight, 0, 3)) {
    case 0:
      return PANGO_WEIGHT_NORMAL;
    case 1:
      return PANGO_WEIGHT_MEDIUM;
    case 2:
      return PANGO_WEIGHT_BOLD;
    default:
      return PANGO_WEIGHT_ULTRABOLD;
  }
}

// Pango needs valid UTF-8 without NUL bytes.
std::string sanitize(std::string_view s) {
  if (g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr)) return std::string(s);
  gchar* fixed = g_utf8_make_valid(s.data(), static_cast<gssize>(s.size()));
  std::string out(fixed);
  g_free(fixed);
  return out;
}

bool needs_sanitizing(std::string_view s) {
  return !g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr);
}

struct KeyView {
  std::string_view text;
  double size;
  int weight;
  double width;
  bool ellipsize;
  friend bool operator==(const KeyView&, const KeyView&) = default;
};

struct KeyHash {
  std::size_t operator()(const KeyView& k) const {
    std::size_t h = std::hash<std::string_view>()(k.text);
    auto mix = [&](std::uint64_t v) { h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2); };
    mix(std::bit_cast<std::uint64_t>(k.size));
    mix(static_cast<std::uint64_t>(k.weight));
    mix(std::bit_cast<std::uint64_t>(k.width));
    mix(k.ellipsize ? 1 : 0);
    return h;
  }
};

// Width from Pango; height on the fixed line pitch.
Size layout_size(PangoLayout* layout, double line_height) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return Size{static_cast<double>(logical.width) / PANGO_SCALE,
              pango_layout_get_line_count(layout) * line_height};
}

PangoFontDescription* font_description(double size, int weight, double ui_scale) {
  PangoFontDescription* fd = pango_font_description_from_string(kFamilies);
  pango_font_description_set_weight(fd, pango_weight(weight));
  pango_font_description_set_absolute_size(fd, size * ui_scale * PANGO_SCALE);
  return fd;
}

}  // namespace

struct TextRenderer::Impl {
  std::vector<std::filesystem::path> files;
  PangoFontMap* fontmap = nullptr;  // shared, never released
  PangoContext* context = nullptr;
  double ui_scale = 1;
  std::uint32_t fingerprint = 0;

  struct Entry {
    std::string text;
    KeyView key;
    PangoLayout* layout = nullptr;
    Size size;
  };
  static constexpr std::size_t kCapacity = 4096;
  std::list<Entry> lru;  // most recently used first
  std::unordered_map<KeyView, std::list<Entry>::iterator, KeyHash> index;
  TextCacheStats stats;

  void compute_fingerprint() {
    std::uint32_t h = 2166136261u;
    auto feed = [&](const void* data, std::size_t n) {
      const auto* b = static_cast<const unsigned char*>(data);
      for (std::size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 16777619u;
    };
    for (const auto& f : files) feed(f.c_str(), f.native().size() + 1);
    feed(&ui_scale, sizeof ui_scale);
    fingerprint = h;
  }

  PangoLayout* make_layout(std::string_view text, double size, int weight, double width,
                           bool ellipsize) const {
    PangoLayout* layout = pango_layout_new(context);
    PangoFontDescription* fd = font_description(size, weight, ui_scale);
    pango_layout_set_font_description(layout, fd);
    pango_font_description_free(fd);
    if (std::isfinite(width)) {
      pango_layout_set_width(layout, static_cast<int>(std::max(0.0, width) * PANGO_SCALE));
      if (ellipsize) {
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        pango_layout_set_height(layout, -1);
      } else {
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
      }
    }
    if (needs_sanitizing(text)) {
      std::string clean = sanitize(text);
      pango_layout_set_text(layout, clean.data(), static_cast<int>(clean.size()));
    } else {
      pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    }
    return layout;
  }

  const Entry* lookup(std::string_view text, double size, int weight, double width,
                      bool ellipsize) {
    weight = std::clamp(weight, 0, 3);
    if (!std::isfinite(width)) width = kNoWrap;
    KeyView probe{text, size, weight, width, ellipsize};
    if (auto it = index.find(probe); it != index.end()) {
      ++stats.hits;
      lru.splice(lru.begin(), lru, it->second);
      return &*it->second;
    }
    ++stats.shapes;
    lru.push_front(Entry{std::string(text), {}, nullptr, {}});
    Entry& e = lru.front();
    e.key = KeyView{e.text, size, weight, width, ellipsize};
    e.layout = make_layout(e.text, size, weight, width, ellipsize);
    e.size = text.empty() ? Size{0, 0} : layout_size(e.layout, line_height(size));
    index.emplace(e.key, lru.begin());
    while (lru.size() > kCapacity) {
      Entry& last = lru.back();
      index.erase(last.key);
      g_object_unref(last.layout);
      lru.pop_back();
    }
    return &e;
  }

  double line_height(double size) const { return text_metrics::line_height_px(size, ui_scale); }

  // Distance from a line's top to its baseline on the fixed pitch: the sans
  // font's ascent and descent centred in the line.
  std::unordered_map<std::uint64_t, double> baselines;
  double baseline(double size, int weight) {
    std::uint64_t key = std::bit_cast<std::uint64_t>(size) ^ static_cast<std::uint64_t>(weight);
    if (auto it = baselines.find(key); it != baselines.end()) return it->second;
    PangoFontDescription* fd = font_description(size, weight, ui_scale);
    PangoFontMetrics* m = pango_context_get_metrics(context, fd, nullptr);
    double asc = static_cast<double>(pango_font_metrics_get_ascent(m)) / PANGO_SCALE;
    double desc = static_cast<double>(pango_font_metrics_get_descent(m)) / PANGO_SCALE;
    pango_font_metrics_unref(m);
    pango_font_description_free(fd);
    double off = (line_height(size) - (asc + desc)) / 2 + asc;
    baselines.emplace(key, off);
    return off;
  }

  void show(cairo_t* cr, PangoLayout* layout, Point at, Color color, double size, int weight) {
    double lh = line_height(size);
    double base = baseline(size, weight);
    cairo_save(cr);
    cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
    PangoLayoutIter* it = pango_layout_get_iter(layout);
    int i = 0;
    do {
      PangoRectangle logical;
      pango_layout_iter_get_line_extents(it, nullptr, &logical);
      PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
      cairo_move_to(cr, at.x + static_cast<double>(logical.x) / PANGO_SCALE, at.y + i * lh + base);
      pango_cairo_show_layout_line(cr, line);
      ++i;
    } while (pango_layout_iter_next_line(it));
    pango_layout_iter_free(it);
    cairo_restore(cr);
  }

  Size draw(cairo_t* cr, std::string_view text, Point at, double size, int weight, Color color,
            double width, bool ellipsize) {
    if (!(size > 0) || text.empty()) return {};
    const auto* e = lookup(text, size, weight, width, ellipsize);
    if (color.a > 0) show(cr, e->layout, at, color, size, weight);
    return e->size;
  }

  void clear() {
    baselines.clear();
    for (auto& e : lru) g_object_unref(e.layout);
    lru.clear();
    index.clear();
  }
};

namespace {

struct FontSet {
  PangoFontMap* fontmap = nullptr;
  std::vector<std::filesystem::path> files;
};

// Font maps are made once per list of fonts and kept for the life of the
// process: loading fonts is slow, and Cairo's global font cache keeps them
// referenced anyway, so every renderer with the same fonts shares one.
const FontSet& shared_fonts(const std::vector<std::filesystem::path>& extra_fonts) {
  static std::mutex mu;
  static std::map<std::vector<std::filesystem::path>, FontSet> sets;
  std::lock_guard lock(mu);
  if (auto it = sets.find(extra_fonts); it != sets.end()) return it->second;
  FontSet set;
  FcInit();
  FcConfig* config = FcConfigCreate();
  if (!FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kBitmapScaling),
                                      FcTrue)) {
    base::log::warn("vesk_ui", "the emoji scaling rule did not load; emoji may draw too large");
  }
  std::vector<std::filesystem::path> wanted(std::begin(kPinnedFonts), std::end(kPinnedFonts));
  wanted.insert(wanted.end(), extra_fonts.begin(), extra_fonts.end());
  for (const auto& f : wanted) {
    if (FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(f.c_str()))) {
      set.files.push_back(f);
    } else {
      base::log::warn("vesk_ui", "font file {} could not be loaded", f.string());
    }
  }
  set.fontmap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
  if (set.files.empty()) {
    base::log::warn("vesk_ui", "no pinned font could be loaded; using the system's fonts");
  } else {
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(set.fontmap), config);
  }
  FcConfigDestroy(config);
  return sets.emplace(extra_fonts, std::move(set)).first->second;
}

}  // namespace

PangoFontMap* text::pinned_font_map() {
  return shared_fonts({}).fontmap;
}

TextRenderer::TextRenderer(std::vector<std::filesystem::path> extra_fonts)
    : impl_(std::make_unique<Impl>()) {
  const FontSet& fonts = shared_fonts(extra_fonts);
  impl_->files = fonts.files;
  impl_->fontmap = fonts.fontmap;
  impl_->context = pango_font_map_create_context(impl_->fontmap);
  cairo_font_options_t* fo = cairo_font_options_create();
  // No hinting and unrounded positions: glyph advances stay the same at
  // every scale, so text measured in logical pixels lines up when drawn at 2x.
  cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(impl_->context, fo);
  cairo_font_options_destroy(fo);
  pango_context_set_round_glyph_positions(impl_->context, FALSE);
  pango_context_set_base_dir(impl_->context, PANGO_DIRECTION_LTR);
  impl_->compute_fingerprint();
}

TextRenderer::~TextRenderer() {
  impl_->clear();
  if (impl_->context) g_object_unref(impl_->context);
}

void TextRenderer::set_ui_scale(double ui_scale) {
  if (!(ui_scale > 0) || !std::isfinite(ui_scale)) ui_scale = 1;
  if (ui_scale == impl_->ui_scale) return;
  impl_->ui_scale = ui_scale;
  impl_->clear();  // shaped at the old scale: useless now
  impl_->compute_fingerprint();
}

double TextRenderer::ui_scale() const {
  return impl_->ui_scale;
}

Size TextRenderer::measure(std::string_view text, double size, double max_width) {
  return measure_weighted(text, size, 0, max_width);
}

Size TextRenderer::measure_weighted(std::string_view text, double size, int weight,
                                    double max_width) {
  if (!(size > 0)) return {};
  return impl_->lookup(text, size, weight, max_width, false)->size;
}

Size TextRenderer::measure_ellipsized(std::string_view text, double size, int weight,
                                      double max_width) {
  if (!(size > 0)) return {};
  return impl_->lookup(text, size, weight, max_width, true)->size;
}

Size TextRenderer::draw_text_weighted(Painter& p, std::string_view text, Point top_left,
                                      double size, int weight, Color color, double max_width) {
  return impl_->draw(p.cairo(), text, top_left, size, weight, color, max_width, false);
}

Size TextRenderer::draw_text_ellipsized(Painter& p, std::string_view text, Point top_left,
                                        double size, int weight, Color color, double max_width) {
  return impl_->draw(p.cairo(), text, top_left, size, weight, color, max_width, true);
}

double TextRenderer::line_height(double size) const {
  return text_metrics::line_height_px(size, impl_->ui_scale);
}

std::uint32_t TextRenderer::fingerprint() const {
  return impl_->fingerprint;
}

TextCacheStats TextRenderer::cache_stats() const {
  TextCacheStats s = impl_->stats;
  s.entries = impl_->lru.size();
  return s;
}

void TextRenderer::clear_cache() {
  impl_->clear();
}

std::vector<std::filesystem::path> TextRenderer::font_files() const {
  return impl_->files;
}

// ---- rich text ----

struct RichTextLayout::Shaped {
  PangoLayout* layout = nullptr;
  double width = 0;
  std::uint32_t fingerprint = 0;
  Size size;
  int lines = 0;
  ~Shaped() {
    if (layout) g_object_unref(layout);
  }
};

RichTextLayout::RichTextLayout(std::string text, double size, Color color,
                               std::vector<TextSpan> spans, int weight)
    : text_(std::move(text)),
      size_(size),
      color_(color),
      weight_(weight),
      spans_(std::move(spans)) {
  if (needs_sanitizing(text_)) {
    // Byte offsets no longer match the repaired text; plain is better than wrong.
    text_ = sanitize(text_);
    spans_.clear();
  }
}

RichTextLayout::~RichTextLayout() = default;
RichTextLayout::RichTextLayout(RichTextLayout&&) noexcept = default;
RichTextLayout& RichTextLayout::operator=(RichTextLayout&&) noexcept = default;

namespace {
bool on_boundary(const std::string& s, std::size_t i) {
  return i == s.size() || (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80);
}
guint16 channel(double v) {
  return static_cast<guint16>(std::lround(std::clamp(v, 0.0, 1.0) * 65535));
}
}  // namespace

void RichTextLayout::shape(TextRenderer& renderer, double max_width) {
  if (!std::isfinite(max_width)) max_width = kNoWrap;
  if (shaped_ && shaped_->width == max_width && shaped_->fingerprint == renderer.fingerprint()) {
    return;
  }
  auto s = std::make_unique<Shaped>();
  s->width = max_width;
  s->fingerprint = renderer.fingerprint();
  ++renderer.impl_->stats.shapes;
  s->layout = renderer.impl_->make_layout(text_, size_, weight_, max_width, false);
  PangoAttrList* attrs = pango_attr_list_copy(pango_layout_get_attributes(s->layout));
  if (!attrs) attrs = pango_attr_list_new();
  for (const auto& span : spans_) {
    if (span.start >= span.end || span.end > text_.size() || !on_boundary(text_, span.start) ||
        !on_boundary(text_, span.end)) {
      continue;
    }
    auto add = [&](PangoAttribute* a) {
      a->start_index = static_cast<guint>(span.start);
      a->end_index = static_cast<guint>(span.end);
      pango_attr_list_insert(attrs, a);
    };
    if (span.weight) add(pango_attr_weight_new(pango_weight(*span.weight)));
    if (span.color) {
      add(pango_attr_foreground_new(channel(span.color->r), channel(span.color->g),
                                    channel(span.color->b)));
      add(pango_attr_foreground_alpha_new(std::max<guint16>(1, channel(span.color->a))));
    }
    if (span.background) {
      add(pango_attr_background_new(channel(span.background->r), channel(span.background->g),
                                    channel(span.background->b)));
      add(pango_attr_background_alpha_new(std::max<guint16>(1, channel(span.background->a))));
    }
  }
  pango_layout_set_attributes(s->layout, attrs);
  pango_attr_list_unref(attrs);
  s->size = text_.empty() ? Size{0, 0} : layout_size(s->layout, renderer.line_height(size_));
  s->lines = text_.empty() ? 0 : pango_layout_get_line_count(s->layout);
  shaped_ = std::move(s);
}

bool RichTextLayout::is_shaped() const {
  return shaped_ != nullptr;
}
double RichTextLayout::height() const {
  return shaped_ ? shaped_->size.h : 0;
}
Size RichTextLayout::size() const {
  return shaped_ ? shaped_->size : Size{};
}
int RichTextLayout::line_count() const {
  return shaped_ ? shaped_->lines : 0;
}

void TextRenderer::draw_rich(Painter& p, RichTextLayout& layout, Point top_left) {
  if (!layout.shaped_ || layout.shaped_->fingerprint != fingerprint()) {
    layout.shape(*this, layout.shaped_ ? layout.shaped_->width : kNoWrap);
  }
  if (layout.text_.empty()) return;
  impl_->show(p.cairo(), layout.shaped_->layout, top_left, layout.color_, layout.size_,
              layout.weight_);
}

}  // namespace vesk_ui

#if defined(__SANITIZE_ADDRESS__)
// The process-wide font maps above, the font caches of fontconfig and Cairo,
// and the D-Bus connection SDL keeps for the window live until exit by
// design; the leak checker should not count them.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libpangoft2\nleak:libcairo.so\nleak:libdbus-1.so\n";
}
#endif
