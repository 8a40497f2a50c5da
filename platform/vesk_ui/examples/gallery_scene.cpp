#include "gallery_scene.hpp"

#include <cmath>
#include <cstdio>

#include "vesk_ui/avatar.hpp"
#include "vesk_ui/launch.hpp"
#include "vesk_ui/painter.hpp"
#include "vesk_ui/presence.hpp"
#include "vesk_ui/surface.hpp"
#include "vesk_ui/text.hpp"
#include "vesk_ui/theme.hpp"

#if __has_include("crdt/document.hpp")
#include "crdt/document.hpp"
#define GALLERY_HAS_DOCUMENT 1
#endif

namespace gallery {

using namespace vesk_ui;

namespace {

constexpr const char* kCatalogSource =
    "# Gallery — sample strings.\n"
    "\n"
    "# Header of the window.\n"
    "gallery-title = vesk_ui gallery\n"
    "# Button that opens the floating panel.\n"
    "gallery-toggle = Toggle panel\n"
    "# Button that shows the widgets page.\n"
    "gallery-widgets = Widgets\n"
    "# Button that shows the primitives page.\n"
    "gallery-primitives = Primitives\n";

constexpr const char* kCatalogSourceDe =
    "gallery-title = vesk_ui Galerie\n"
    "gallery-toggle = Tafel umschalten\n"
    "gallery-widgets = Bedienelemente\n"
    "gallery-primitives = Grundformen\n";

const char* const kNames[] = {"Ada Lovelace", "grace hopper", "Émile Zola",   "李 小龙",
                              "Юрий Гагарин", "🚀 Rocket Bot", "o'neil smith", "x"};

}  // namespace

const std::vector<std::string>& shot_names() {
  static const std::vector<std::string> names = {"gallery", "gallery-panel", "gallery-hover",
                                                 "gallery-widgets"};
  return names;
}

base::Result<ShotFrame> render_scenario(const std::string& name, Size size, double scale,
                                        std::shared_ptr<TextRenderer> text) {
  GalleryWidget widget;
  auto frame = VESK_TRY(ShotFrame::create(launch::shot_theme(), size, scale, std::move(text)));
  if (name == "gallery-panel") widget.set_panel_open(true, frame.theme(), frame.instant());
  widget.show_widgets(name == "gallery-widgets");
  frame.sync(widget);
  VESK_TRY_STATUS(frame.layout(widget));
  if (name == "gallery-hover") widget.set_hovered(1);
  if (widget.widgets_shown()) {
    widget.widgets().stage_review(frame.instant());
    if (!widget.widgets().wait_for_images()) {
      return base::make_error("the sample image was not decoded in time");
    }
  }
  frame.draw(widget);
  frame.draw_floating_surfaces(widget);
  return frame;
}

GalleryWidget::GalleryWidget()
    : catalog_("en-US", {{"en-US", kCatalogSource}, {"de-DE", kCatalogSourceDe}}, "gallery-title") {
}

void GalleryWidget::set_panel_open(bool open, const Theme& theme, Instant at) {
  panel_.set_open(open, theme, at);
}

void GalleryWidget::sync(SyncContext& ctx) {
  now_ = ctx.now;
  widgets_.sync(ctx);
  bool toggled = pending_toggle_;
  if (pending_toggle_) {
    panel_.set_open(!panel_.is_open(), ctx.theme, ctx.now);
    pending_toggle_ = false;
  }
  document_line_ = "document: none lent";
#if GALLERY_HAS_DOCUMENT
  // The lent document keeps how often the panel was toggled, across runs.
  if (crdt::Document* doc = ctx.document) {
    auto v = doc->get(crdt::ObjId::root(), "gallery-toggles");
    std::uint64_t n = v && v->u64() ? *v->u64() : 0;
    if (toggled) {
      ++n;
      if (doc->put(crdt::ObjId::root(), "gallery-toggles", n).ok()) doc->commit();
    }
    document_line_ = "document: panel toggled " + std::to_string(n) + " times";
  }
#else
  (void)toggled;
#endif
}

LayoutNode GalleryWidget::build_layout(const LayoutContext& ctx) {
  LayoutNode root = LayoutNode::fill("root");
  root.axis = Axis::Column;
  root.padding = 16;
  root.gap = 12;
  root.children.push_back(LayoutNode::fixed("header", ctx.text.line_height(22) + 16));
  root.children.push_back(LayoutNode::fill("body"));
  return root;
}

void GalleryWidget::apply_layout(const LayoutResult& layout) {
  root_ = layout.root();
  header_ = layout.rect("header").value_or(Rect{});
  body_ = layout.rect("body").value_or(Rect{});
  widgets_.place(body_, root_);
}

void GalleryWidget::draw(DrawContext& ctx) {
  ++frames_;
  Painter& p = ctx.painter;
  const Theme& t = ctx.theme;
  TextRenderer& tx = ctx.text;
  const Colors& c = t.colors;

  // Header: title in every weight, the toggle button.
  double x = header_.x0;
  tx.draw_text_weighted(p, catalog_.t("gallery-title"), {x, header_.y0}, 22, 3, c.text);
  double hx = x + 260;
  for (int w = 0; w <= 3; ++w) {
    char label[32];
    std::snprintf(label, sizeof label, "weight %d", w);
    hx += tx.draw_text_weighted(p, label, {hx, header_.y0 + 6}, 14, w, c.text_dim).w + 14;
  }
  auto toggle_size = tx.measure_weighted(catalog_.t("gallery-toggle"), 13, 2);
  toggle_ = Rect{header_.x1 - toggle_size.w - 28, header_.y0, header_.x1,
                 header_.y0 + toggle_size.h + 14};
  p.fill_rounded_rect(toggle_, 9, panel_.is_open() ? c.accent : c.lift(c.overlay, 0.04));
  surface::edge_on(p, t, toggle_, 9, panel_.is_open() ? c.accent : c.overlay);
  tx.draw_text_weighted(p, catalog_.t("gallery-toggle"), {toggle_.x0 + 14, toggle_.y0 + 7}, 13, 2,
                        panel_.is_open() ? c.on_accent : c.text);
  const std::string_view tab_label =
      catalog_.t(widgets_shown_ ? "gallery-primitives" : "gallery-widgets");
  auto tab_size = tx.measure_weighted(tab_label, 13, 2);
  page_tab_ =
      Rect{toggle_.x0 - tab_size.w - 40, header_.y0, toggle_.x0 - 12, header_.y0 + tab_size.h + 14};
  p.fill_rounded_rect(page_tab_, 9, c.lift(c.overlay, 0.04));
  surface::edge_on(p, t, page_tab_, 9, c.overlay);
  tx.draw_text_weighted(p, tab_label, {page_tab_.x0 + 14, page_tab_.y0 + 7}, 13, 2, c.text);
  surface::separator(p, t, header_.x0, header_.x1, header_.y1 + 4);
  if (widgets_shown_) {
    widgets_.draw(ctx);
    return;
  }

  // Column 1: surface levels and their recipes.
  double col_w = (body_.width() - 24) / 3;
  Rect col1{body_.x0, body_.y0 + 8, body_.x0 + col_w, body_.y1};
  cards_.clear();
  const char* levels[] = {"base", "raised", "overlay", "floating"};
  for (int i = 0; i < 4; ++i) {
    Rect r = Rect::from_xywh(col1.x0, col1.y0 + i * 58, col_w, 48);
    cards_.push_back(r);
    if (i == 3) surface::shadow(p, t, r, 10, 1);
    surface::card(p, t, r, 10, i);
    if (hovered_ == i) {
      p.fill_rounded_rect(r, 10, c.lift(t.surface(i), 0.05).with_alpha(0.5));
      p.stroke_rounded_rect(r, 10, 2, c.accent);
    }
    char label[64];
    std::snprintf(label, sizeof label, "surface %d · %s", i, levels[i]);
    tx.draw_text(p, label, {r.x0 + 14, r.y0 + 14}, 13, t.on_surface(t.surface(i)));
  }
  double y = col1.y0 + 4 * 58 + 8;
  Rect outline = Rect::from_xywh(col1.x0, y, col_w / 2 - 6, 40);
  surface::edge_outline(p, t, outline, 8);
  tx.draw_text(p, "edge_outline", {outline.x0 + 10, outline.y0 + 12}, 12, c.text_dim);
  Rect soft = Rect::from_xywh(col1.x0 + col_w / 2 + 6, y, col_w / 2 - 6, 40);
  surface::soft_outline(p, t, soft, 8);
  tx.draw_text(p, "soft_outline", {soft.x0 + 10, soft.y0 + 12}, 12, c.text_dim);
  y += 52;
  surface::separator(p, t, col1.x0, col1.x1, y);
  y += 12;
  Rect panel = Rect::from_xywh(col1.x0 + 8, y, col_w - 16, 70);
  surface::shadow(p, t, panel, 14, 2);
  p.fill_rounded_rect(panel, 14, c.floating);
  chrome::shell::panel_border(p, t, panel, 14);
  tx.draw_text(p, "shadow + panel_border", {panel.x0 + 14, panel.y0 + 12}, 13, c.text);
  tx.draw_text(p, "elevation 2, radius 14", {panel.x0 + 14, panel.y0 + 36}, 11.5, c.text_dim);
  y += 86;
  Rect grad = Rect::from_xywh(col1.x0, y, col_w, 28);
  p.fill_rounded_rect_vgradient(grad, 6, c.accent, c.lift(c.accent, 0.3));
  tx.draw_text_weighted(p, "gradient", {grad.x0 + 10, grad.y0 + 6}, 12, 2, c.on_accent);

  // Column 2: colour tokens with their contrast on the base surface, the
  // presence palette with initials.
  Rect col2{col1.x1 + 12, col1.y0, col1.x1 + 12 + col_w, body_.y1};
  struct Token {
    const char* name;
    Color color;
  };
  const Token tokens[] = {{"accent", c.accent},    {"danger", c.danger}, {"success", c.success},
                          {"warning", c.warning},  {"text", c.text},     {"text_dim", c.text_dim},
                          {"hairline", c.hairline}};
  y = col2.y0;
  for (const auto& tok : tokens) {
    p.fill_rounded_rect(Rect::from_xywh(col2.x0, y, 22, 22), 6, tok.color);
    char label[96];
    std::snprintf(label, sizeof label, "%s  %.2f:1", tok.name,
                  color::contrast_ratio(tok.color, c.base));
    tx.draw_text(p, label, {col2.x0 + 32, y + 2}, 13, c.text);
    y += 30;
  }
  y += 6;
  tx.draw_text_weighted(p, "Presence palette", {col2.x0, y}, 12, 2, c.text_dim);
  y += 24;
  for (int i = 0; i < 8; ++i) {
    double cx = col2.x0 + 18 + (i % 4) * (col_w / 4), cy = y + 18 + (i / 4) * 50;
    Color pc = presence::user_color(static_cast<std::uint32_t>(i));
    p.fill_circle({cx, cy}, 16, pc);
    std::string ini = Avatar::initials_for_name(kNames[i]);
    Size s = tx.measure_weighted(ini, 12, 2);
    tx.draw_text_weighted(p, ini, {cx - s.w / 2, cy - s.h / 2}, 12, 2, t.on_surface(pc));
    PresenceStatus st = static_cast<PresenceStatus>(i % 4);
    p.fill_circle({cx + 11, cy + 11}, 5.5, c.base);
    p.fill_circle({cx + 11, cy + 11}, 4, presence::status_color(st, t));
  }
  y += 112;
  // The transition's value, drawn as a bar.
  double v = panel_.value(now_);
  Rect track = Rect::from_xywh(col2.x0, y, col_w, 8);
  p.fill_rounded_rect(track, 4, c.overlay);
  p.fill_rounded_rect(Rect::from_xywh(track.x0, track.y0, track.width() * v, 8), 4, c.accent);
  char tv[64];
  std::snprintf(tv, sizeof tv, "transition %.2f", v);
  tx.draw_text(p, tv, {col2.x0, y + 14}, 11.5, c.text_dim);
  y += 40;
  std::string status = "last key: " + (last_key_.empty() ? std::string("none") : last_key_);
  tx.draw_text(p, status, {col2.x0, y}, 12, c.text_dim);
  tx.draw_text_ellipsized(p, "typed: " + typed_, {col2.x0, y + 20}, 12, 0, c.text, col_w);
  tx.draw_text(p, document_line_, {col2.x0, y + 40}, 12, c.text_dim);

  // Column 3: text styles.
  Rect col3{col2.x1 + 12, col1.y0, body_.x1, body_.y1};
  y = col3.y0;
  const double sizes[] = {9, 11, 13, 15, 17, 20};
  for (double s : sizes) {
    char label[64];
    std::snprintf(label, sizeof label, "%g px — The quick brown fox", s);
    y += tx.draw_text(p, label, {col3.x0, y}, s, c.text).h + 2;
  }
  y += 8;
  const char* para =
      "Wrapped paragraph with emoji 🎉🚀 and symbols ✉ ☰ ▸ ▾ ➤ ✕ ＋ — every line holds "
      "the same height, so n lines are n times one line. Ünïcödé, 中文字符, עברית.";
  Rect para_box = Rect::from_xywh(col3.x0, y, col3.width(), 0);
  y += tx.draw_text(p, para, para_box.origin(), 14, c.text, col3.width()).h + 10;
  RichTextLayout rich("Rich text: @grace mentioned #frontend with bold and dim spans.", 14, c.text,
                      {TextSpan{11, 17, 2, c.accent, c.accent.with_alpha(0.18)},
                       TextSpan{28, 37, 2, presence::user_color(1), std::nullopt},
                       TextSpan{43, 47, 3, std::nullopt, std::nullopt},
                       TextSpan{52, 55, std::nullopt, c.text_dim, std::nullopt}});
  rich.shape(tx, col3.width());
  tx.draw_rich(p, rich, {col3.x0, y});
  y += rich.height() + 10;
  tx.draw_text_ellipsized(p, "An ellipsized line that is far too long for its column to hold",
                          {col3.x0, y}, 13, 0, c.text_dim, col3.width() * 0.8);
  y += tx.line_height(13) + 8;
  char lh[96];
  std::snprintf(lh, sizeof lh, "line_height_px(13, %.2g) = %g", t.ui_scale,
                text_metrics::line_height_px(13, t.ui_scale));
  tx.draw_text(p, lh, {col3.x0, y}, 11.5, c.text_dim);
}

void GalleryWidget::draw_floating_surfaces(DrawContext& ctx) {
  if (widgets_shown_) widgets_.draw_floating_surfaces(ctx);
  double v = panel_.value(ctx.now);
  if (v <= 0.001) return;
  Painter& p = ctx.painter;
  const Theme& t = ctx.theme;
  Rect r = Rect::from_xywh(toggle_.x1 - 280, toggle_.y1 + 8 - (1 - v) * 12, 280, 150);
  p.push_layer();
  surface::shadow(p, t, r, 14, 2);
  p.fill_rounded_rect(r, 14, t.colors.floating);
  chrome::shell::panel_border(p, t, r, 14);
  ctx.text.draw_text_weighted(p, "Floating panel", {r.x0 + 16, r.y0 + 14}, 15, 2, t.colors.text);
  ctx.text.draw_text(p,
                     "Drawn by draw_floating_surfaces after the frame, fading in with a "
                     "Transition of the theme's duration.",
                     {r.x0 + 16, r.y0 + 44}, 12.5, t.colors.text_dim, r.width() - 32);
  p.pop_layer(v);
}

bool GalleryWidget::handle_event(const Event& event, double scale_factor) {
  auto logical = [&](Point pt) { return Point{pt.x / scale_factor, pt.y / scale_factor}; };
  // The header's buttons, on either page (an open menu takes presses first).
  if (const auto* press = std::get_if<PointerPressEvent>(&event);
      press && press->button == PointerButton::Primary && !widgets_.menu().is_open()) {
    const Point at = logical(press->position);
    if (page_tab_.contains(at)) {
      widgets_shown_ = !widgets_shown_;
      return true;
    }
    if (toggle_.contains(at)) {
      pending_toggle_ = true;
      return true;
    }
  }
  // The widgets page keeps its card's desktop messages even while hidden.
  if (widgets_shown_ || std::holds_alternative<FloatingSurfaceEvent>(event)) {
    return widgets_.handle_event(event, scale_factor);
  }
  if (const auto* m = std::get_if<PointerMoveEvent>(&event)) {
    Point pt = logical(m->position);
    int h = -1;
    for (std::size_t i = 0; i < cards_.size(); ++i) {
      if (cards_[i].contains(pt)) h = static_cast<int>(i);
    }
    bool changed = h != hovered_;
    hovered_ = h;
    return changed;
  }
  if (std::holds_alternative<PointerPressEvent>(event)) return false;
  if (const auto* key = std::get_if<KeyPressEvent>(&event)) {
    static const char* names[] = {"unknown", "char",   "enter",  "escape",   "tab",  "backspace",
                                  "delete",  "insert", "left",   "right",    "up",   "down",
                                  "home",    "end",    "pageup", "pagedown", "space"};
    auto k = static_cast<std::size_t>(key->key);
    last_key_ = k < std::size(names) ? names[k] : "function";
    if (key->key == Key::Character && key->character < 128) {
      last_key_ += " ";
      last_key_ += static_cast<char>(key->character);
    }
    if (key->modifiers.ctrl) last_key_ = "ctrl+" + last_key_;
    if (key->key == Key::Backspace && !typed_.empty()) {
      // Drop one whole UTF-8 character.
      std::size_t i = typed_.size() - 1;
      while (i > 0 && (static_cast<unsigned char>(typed_[i]) & 0xC0) == 0x80) --i;
      typed_.erase(i);
    }
    return true;
  }
  if (const auto* text = std::get_if<TextEvent>(&event)) {
    typed_ += text->text;
    return true;
  }
  return false;
}

bool GalleryWidget::needs_animation_frame() const {
  return pending_toggle_ || panel_.is_animating(now()) ||
         (widgets_shown_ && widgets_.needs_animation_frame());
}

accessibility::Tree GalleryWidget::accessibility() const {
  accessibility::Tree tree{{"window", std::string(catalog_.t("gallery-title")), root_, "", {}}, {}};
  const auto control = [&](const Rect& r, const char* name, std::string_view label) {
    tree.root.children.push_back({"button", std::string(label), r, name, {}});
    tree.synthetic.push_back({"control", std::string(label), r, name, {}});
  };
  control(page_tab_, "gallery.page",
          catalog_.t(widgets_shown_ ? "gallery-primitives" : "gallery-widgets"));
  control(toggle_, "gallery.toggle", catalog_.t("gallery-toggle"));
  if (widgets_shown_) widgets_.export_accessibility(tree);
  return tree;
}

std::optional<Rect> GalleryWidget::synthetic_accessibility_rect(std::size_t index) const {
  const auto tree = accessibility();
  if (index >= tree.synthetic.size()) return std::nullopt;
  return tree.synthetic[index].rect;
}

bool GalleryWidget::perform_semantic_action(std::string_view name,
                                            const accessibility::SemanticAction& action) {
  const bool activates = action.action == accessibility::Action::Activate ||
                         action.action == accessibility::Action::Focus;
  if (name == "gallery.page" && activates) {
    widgets_shown_ = !widgets_shown_;
    return true;
  }
  if (name == "gallery.toggle" && activates) {
    pending_toggle_ = true;
    return true;
  }
  return widgets_shown_ && widgets_.perform_semantic_action(name, action);
}

std::vector<floating_surface::Message> GalleryWidget::take_floating_requests() {
  return widgets_.take_floating_requests();
}

}  // namespace gallery
