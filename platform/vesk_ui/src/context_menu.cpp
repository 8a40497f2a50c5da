#include "vesk_ui/context_menu.hpp"

#include <cairo.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "vesk_ui/icons.hpp"
#include "vesk_ui/painter.hpp"
#include "widget_text.hpp"

namespace vesk_ui {
namespace {
constexpr double kIconColumn = 26;
constexpr double kSidePadding = 12;
}  // namespace

void ContextMenu::set_style(ContextMenuStyle s) {
  style_ = std::move(s);
  size_.reset();
}

Size ContextMenu::measure() const {
  if (size_) return *size_;
  double widest = 0;
  for (const auto& item : items_) {
    auto l = text::line(item.label, style_.font_family, style_.font_size);
    widest = std::max(widest, text::pixel_size(l.get()).w);
  }
  const double w = std::max(
      style_.min_width, std::ceil(widest) + kIconColumn + 2 * kSidePadding + 2 * style_.padding);
  const double h = static_cast<double>(items_.size()) * style_.item_height + 2 * style_.padding;
  size_ = Size{w, h};
  return *size_;
}

void ContextMenu::open_at(Point p) {
  size_.reset();
  origin_ = p;
  open_ = true;
  highlight_.reset();
}

void ContextMenu::open_at_clamped(Point p, Rect bounds) {
  open_at(p);
  const Size s = measure();
  auto place = [](double at, double len, double lo, double hi) {
    if (at + len > hi && at - len >= lo) return at - len;  // flip to the other side
    return std::max(lo, std::min(at, hi - len));
  };
  origin_ = Point{place(p.x, s.w, bounds.x0, bounds.x1), place(p.y, s.h, bounds.y0, bounds.y1)};
}

void ContextMenu::close() {
  open_ = false;
  highlight_.reset();
}

Rect ContextMenu::rect() const {
  return Rect::from_origin_size(origin_, measure());
}

Rect ContextMenu::item_rect(std::size_t i) const {
  const Rect r = rect();
  const double y = r.y0 + style_.padding + static_cast<double>(i) * style_.item_height;
  return Rect{r.x0 + style_.padding, y, r.x1 - style_.padding, y + style_.item_height};
}

std::optional<std::size_t> ContextMenu::item_at(Point p) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (item_rect(i).contains(p)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> ContextMenu::choose(std::size_t i) {
  close();
  return i;
}

void ContextMenu::step(int delta) {
  if (items_.empty()) return;
  const auto n = static_cast<long>(items_.size());
  long at = highlight_ ? static_cast<long>(*highlight_) + delta : (delta > 0 ? 0 : n - 1);
  at = ((at % n) + n) % n;
  highlight_ = static_cast<std::size_t>(at);
}

ContextMenu::Outcome ContextMenu::handle_event(const Event& event, double scale_factor) {
  if (!open_) return {};
  const double s = scale_factor > 0 ? scale_factor : 1;
  Outcome out{true, std::nullopt};
  if (const auto* m = std::get_if<PointerMoveEvent>(&event)) {
    if (auto i = item_at(Point{m->position.x / s, m->position.y / s})) highlight_ = i;
  } else if (const auto* p = std::get_if<PointerPressEvent>(&event)) {
    const Point at{p->position.x / s, p->position.y / s};
    if (!rect().contains(at)) {
      close();
    } else if (auto i = item_at(at); i && p->button == PointerButton::Primary) {
      out.chosen = choose(*i);
    }
  } else if (const auto* k = std::get_if<KeyPressEvent>(&event)) {
    switch (k->key) {
      case Key::Up:
        step(-1);
        break;
      case Key::Down:
        step(1);
        break;
      case Key::Home:
        highlight_.reset();
        step(1);
        break;
      case Key::End:
        highlight_.reset();
        step(-1);
        break;
      case Key::Escape:
        close();
        break;
      case Key::Enter:
      case Key::Space:
        if (highlight_) out.chosen = choose(*highlight_);
        break;
      default:
        break;
    }
  }
  return out;
}

std::optional<std::size_t> ContextMenu::perform_semantic_action(std::string_view name) {
  if (!open_ || name.substr(0, kItemPrefix.size()) != kItemPrefix) return std::nullopt;
  const std::string_view rest = name.substr(kItemPrefix.size());
  std::size_t index = 0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), index);
  if (ec == std::errc() && end == rest.data() + rest.size() && index < items_.size()) {
    return choose(index);
  }
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].label == rest) return choose(i);
  }
  return std::nullopt;
}

accessibility::Node ContextMenu::accessibility() const {
  accessibility::Node menu{"menu", "Context menu", open_ ? rect() : Rect{}, "context-menu", {}};
  if (!open_) return menu;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    menu.children.push_back(accessibility::Node{"menuitem",
                                                items_[i].label,
                                                item_rect(i),
                                                std::string(kItemPrefix) + std::to_string(i),
                                                {}});
  }
  return menu;
}

void ContextMenu::paint(Painter& painter) const {
  paint(painter.cairo());
}

void ContextMenu::paint(cairo_t* cr) const {
  if (!open_) return;
  const Rect r = rect();
  cairo_save(cr);
  // A soft shadow: a few widening translucent outlines below the panel.
  for (int i = 3; i >= 1; --i) {
    const double g = i * 3.0;
    ink::rounded_rect_path(cr, r.x0 - g / 2, r.y0 - g / 2 + 4, r.width() + g, r.height() + g,
                           style_.corner_radius + g / 2);
    ink::set_source(cr, style_.shadow.with_alpha(style_.shadow.a / (i + 1)));
    cairo_fill(cr);
  }
  ink::rounded_rect_path(cr, r.x0, r.y0, r.width(), r.height(), style_.corner_radius);
  ink::set_source(cr, style_.background);
  cairo_fill_preserve(cr);
  ink::set_source(cr, style_.border);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const Rect ir = item_rect(i);
    const auto& item = items_[i];
    if (highlight_ == i) {
      ink::rounded_rect_path(cr, ir.x0, ir.y0, ir.width(), ir.height(), 6);
      ink::set_source(cr,
                      item.destructive ? style_.destructive.with_alpha(0.85) : style_.highlight);
      cairo_fill(cr);
    }
    const ink::Rgba fg = highlight_ == i    ? ink::Rgba{1, 1, 1, 1}
                         : item.destructive ? style_.destructive
                                            : style_.text;
    const std::string_view glyph = icons::glyph(item.icon);
    if (!glyph.empty()) {
      auto g = text::line(glyph, style_.font_family, style_.font_size);
      const Size gs = text::pixel_size(g.get());
      ink::set_source(cr, highlight_ == i || item.destructive ? fg : style_.icon);
      cairo_move_to(cr, ir.x0 + kSidePadding + (kIconColumn - 8 - gs.w) / 2,
                    ir.y0 + (ir.height() - gs.h) / 2);
      pango_cairo_show_layout(cr, g.get());
    }
    auto l = text::line(item.label, style_.font_family, style_.font_size);
    const Size ls = text::pixel_size(l.get());
    ink::set_source(cr, fg);
    cairo_move_to(cr, ir.x0 + kSidePadding + kIconColumn, ir.y0 + (ir.height() - ls.h) / 2);
    pango_cairo_show_layout(cr, l.get());
  }
  cairo_restore(cr);
}

}  // namespace vesk_ui
