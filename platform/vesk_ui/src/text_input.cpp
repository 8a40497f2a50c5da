#include "vesk_ui/text_input.hpp"

#include <cairo.h>
#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "vesk_ui/clipboard.hpp"
#include "vesk_ui/painter.hpp"
#include "widget_text.hpp"

namespace vesk_ui {

using text_edit::EditKind;
using text_edit::Motion;

struct TextInput::LayoutCache {
  text::LayoutPtr layout;
  std::string shown;  // the text the layout holds (with the composition)
  std::size_t preedit_at = 0;
  double width = -1;
  std::string font;
  double font_size = 0;
};

TextInput::TextInput(bool multiline) : multiline_(multiline) {}
TextInput::~TextInput() = default;
TextInput::TextInput(TextInput&&) noexcept = default;
TextInput& TextInput::operator=(TextInput&&) noexcept = default;

std::string TextInput::fit_to_lines(std::string_view text) const {
  std::string s(text);
  // CR LF and lone CR become LF; a single-line input turns breaks into spaces.
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\r') {
      if (i + 1 < s.size() && s[i + 1] == '\n') continue;
      c = '\n';
    }
    if (c == '\n' && !multiline_) c = ' ';
    out += c;
  }
  return out;
}

void TextInput::set_text(std::string_view text) {
  if (buffer_.set_text(fit_to_lines(text))) {
    preedit_.clear();
    sticky_x_.reset();
    keep_caret_visible();
  }
}

void TextInput::set_focused(bool focused) {
  if (focused_ == focused) return;
  focused_ = focused;
  buffer_.break_undo_group();
  if (!focused) {
    preedit_.clear();
    drag_ = DragUnit::None;
  }
}

void TextInput::insert_text(std::string_view text) {
  insert_typed(text, EditKind::Other);
}

void TextInput::insert_typed(std::string_view text, EditKind kind) {
  buffer_.insert(fit_to_lines(text), kind);
  sticky_x_.reset();
  keep_caret_visible();
}

void TextInput::set_rect(Rect r) {
  if (r == rect_) return;
  rect_ = r;
  keep_caret_visible();
}

void TextInput::set_style(TextInputStyle style) {
  style_ = std::move(style);
  keep_caret_visible();
}

std::size_t TextInput::display_index(std::size_t offset) const {
  if (preedit_.empty() || offset < buffer_.caret()) return offset;
  return offset + preedit_.size();
}

std::size_t TextInput::model_offset(std::size_t index) const {
  const std::size_t c = buffer_.caret();
  if (preedit_.empty() || index <= c) return index;
  if (index < c + preedit_.size()) return c;
  return index - preedit_.size();
}

PangoLayout* TextInput::layout() {
  if (!cache_) cache_ = std::make_unique<LayoutCache>();
  LayoutCache& c = *cache_;
  if (!c.layout) c.layout = text::new_layout();
  std::string shown = buffer_.text();
  if (!preedit_.empty()) shown.insert(buffer_.caret(), preedit_);
  const double width =
      multiline_ && !rect_.is_empty() ? std::max(1.0, rect_.width() - 2 * style_.padding_x) : -1;
  if (c.font != style_.font_family || c.font_size != style_.font_size) {
    text::set_font(c.layout.get(), style_.font_family, style_.font_size);
    c.font = style_.font_family;
    c.font_size = style_.font_size;
  }
  if (width != c.width) {
    pango_layout_set_width(c.layout.get(), width < 0 ? -1 : static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(c.layout.get(), PANGO_WRAP_WORD_CHAR);
    c.width = width;
  }
  if (shown != c.shown || c.preedit_at != buffer_.caret()) {
    pango_layout_set_text(c.layout.get(), shown.data(), static_cast<int>(shown.size()));
    PangoAttrList* attrs = pango_attr_list_new();
    if (!preedit_.empty()) {
      PangoAttribute* u = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
      u->start_index = static_cast<guint>(buffer_.caret());
      u->end_index = static_cast<guint>(buffer_.caret() + preedit_.size());
      pango_attr_list_insert(attrs, u);
    }
    pango_layout_set_attributes(c.layout.get(), attrs);
    pango_attr_list_unref(attrs);
    c.shown = std::move(shown);
    c.preedit_at = buffer_.caret();
  }
  return c.layout.get();
}

double TextInput::content_height() {
  PangoRectangle logical;
  pango_layout_get_extents(layout(), nullptr, &logical);
  return static_cast<double>(logical.height) / PANGO_SCALE + 2 * style_.padding_y;
}

Point TextInput::text_origin() {
  PangoRectangle logical;
  pango_layout_get_extents(layout(), nullptr, &logical);
  const double h = static_cast<double>(logical.height) / PANGO_SCALE;
  if (multiline_) return Point{rect_.x0 + style_.padding_x, rect_.y0 + style_.padding_y - scroll_};
  return Point{rect_.x0 + style_.padding_x - scroll_, rect_.y0 + (rect_.height() - h) / 2};
}

Rect TextInput::caret_rect() {
  PangoRectangle strong;
  const std::size_t at = display_index(buffer_.caret());
  pango_layout_get_cursor_pos(layout(), static_cast<int>(at), &strong, nullptr);
  Point o = text_origin();
  return Rect::from_xywh(o.x + static_cast<double>(strong.x) / PANGO_SCALE,
                         o.y + static_cast<double>(strong.y) / PANGO_SCALE, 1.5,
                         static_cast<double>(strong.height) / PANGO_SCALE);
}

void TextInput::keep_caret_visible() {
  if (rect_.is_empty()) return;
  PangoRectangle logical;
  pango_layout_get_extents(layout(), nullptr, &logical);
  PangoRectangle cur;
  pango_layout_get_cursor_pos(layout(), static_cast<int>(display_index(buffer_.caret())), &cur,
                              nullptr);
  if (multiline_) {
    const double view = std::max(0.0, rect_.height() - 2 * style_.padding_y);
    const double top = static_cast<double>(cur.y) / PANGO_SCALE;
    const double bottom = top + static_cast<double>(cur.height) / PANGO_SCALE;
    const double content = static_cast<double>(logical.height) / PANGO_SCALE;
    if (top < scroll_) scroll_ = top;
    if (bottom > scroll_ + view) scroll_ = bottom - view;
    scroll_ = std::clamp(scroll_, 0.0, std::max(0.0, content - view));
  } else {
    const double view = std::max(0.0, rect_.width() - 2 * style_.padding_x);
    const double x = static_cast<double>(cur.x) / PANGO_SCALE;
    const double content = static_cast<double>(logical.width) / PANGO_SCALE + 1.5;
    if (x < scroll_) scroll_ = x;
    if (x + 1.5 > scroll_ + view) scroll_ = x + 1.5 - view;
    scroll_ = std::clamp(scroll_, 0.0, std::max(0.0, content - view));
  }
}

std::size_t TextInput::offset_at(Point p) {
  Point o = text_origin();
  int index = 0;
  int trailing = 0;
  PangoLayout* l = layout();
  pango_layout_xy_to_index(l, static_cast<int>(std::lround((p.x - o.x) * PANGO_SCALE)),
                           static_cast<int>(std::lround((p.y - o.y) * PANGO_SCALE)), &index,
                           &trailing);
  const char* base = pango_layout_get_text(l);
  const char* at = g_utf8_offset_to_pointer(base + index, trailing);
  return buffer_.boundaries().snap(model_offset(static_cast<std::size_t>(at - base)));
}

void TextInput::vertical_move(int lines, bool extend) {
  PangoLayout* l = layout();
  int line = 0;
  int x = 0;
  pango_layout_index_to_line_x(l, static_cast<int>(display_index(buffer_.caret())), 0, &line, &x);
  if (!sticky_x_) sticky_x_ = static_cast<double>(x);
  const int target = line + lines;
  std::size_t to = 0;
  if (target < 0) {
    to = 0;
  } else if (target >= pango_layout_get_line_count(l)) {
    to = buffer_.text().size();
  } else {
    PangoLayoutLine* pl = pango_layout_get_line_readonly(l, target);
    int index = 0;
    int trailing = 0;
    pango_layout_line_x_to_index(pl, static_cast<int>(*sticky_x_), &index, &trailing);
    const char* base = pango_layout_get_text(l);
    to = model_offset(
        static_cast<std::size_t>(g_utf8_offset_to_pointer(base + index, trailing) - base));
  }
  const auto keep = sticky_x_;
  buffer_.set_caret(to, extend);
  sticky_x_ = keep;
}

void TextInput::line_edge(bool end, bool extend) {
  if (!multiline_) {
    buffer_.move(end ? Motion::End : Motion::Start, extend);
    return;
  }
  PangoLayout* l = layout();
  int line = 0;
  int x = 0;
  pango_layout_index_to_line_x(l, static_cast<int>(display_index(buffer_.caret())), 0, &line, &x);
  PangoLayoutLine* pl = pango_layout_get_line_readonly(l, line);
  std::size_t start = model_offset(static_cast<std::size_t>(pl->start_index));
  std::size_t stop = model_offset(static_cast<std::size_t>(pl->start_index + pl->length));
  const std::string& t = buffer_.text();
  // A wrapped line ends where the next begins; stop before its trailing
  // space so the caret stays on this line.
  if (end && stop < t.size() && t[stop] != '\n' && stop > start)
    stop = buffer_.boundaries().prev(stop);
  buffer_.set_caret(end ? stop : start, extend);
}

std::pair<std::size_t, std::size_t> TextInput::unit_at(std::size_t pos) const {
  if (drag_ == DragUnit::Word) return buffer_.boundaries().word_at(pos);
  if (drag_ == DragUnit::Line) {
    const std::string& t = buffer_.text();
    std::size_t a = pos == 0 ? std::string::npos : t.rfind('\n', pos - 1);
    std::size_t b = t.find('\n', pos);
    return {a == std::string::npos ? 0 : a + 1, b == std::string::npos ? t.size() : b};
  }
  return {pos, pos};
}

void TextInput::extend_drag(std::size_t pos) {
  const auto [o0, o1] = drag_origin_;
  const auto unit = unit_at(pos);
  // Selecting by words or lines keeps the unit first pressed whole and
  // grows by whole units towards the pointer.
  if (unit.first < o0) {
    buffer_.select(o1, unit.first);
  } else {
    buffer_.select(o0, std::max(unit.second, o1));
  }
}

TextInput::Result TextInput::handle_press(const PointerPressEvent& e, double scale) {
  const Point p{e.position.x / scale, e.position.y / scale};
  if (!rect_.contains(p)) {
    if (focused_ && e.button == PointerButton::Primary) set_focused(false);
    return Result::Ignored;
  }
  set_focused(true);
  if (e.button != PointerButton::Primary) return Result::Ignored;
  preedit_.clear();
  sticky_x_.reset();
  const std::size_t at = offset_at(p);
  drag_ = e.clicks >= 3 ? DragUnit::Line : e.clicks == 2 ? DragUnit::Word : DragUnit::Grapheme;
  if (drag_ == DragUnit::Grapheme) {
    const std::size_t anchor = e.modifiers.shift ? buffer_.anchor() : at;
    drag_origin_ = {anchor, anchor};
    buffer_.select(anchor, at);
  } else {
    drag_origin_ = unit_at(at);
    buffer_.select(drag_origin_.first, drag_origin_.second);
  }
  keep_caret_visible();
  return Result::Handled;
}

TextInput::Result TextInput::handle_move(const PointerMoveEvent& e, double scale) {
  if (drag_ == DragUnit::None) return Result::Ignored;
  extend_drag(offset_at(Point{e.position.x / scale, e.position.y / scale}));
  keep_caret_visible();
  return Result::Handled;
}

TextInput::Result TextInput::handle_key(const KeyPressEvent& k) {
  const bool shift = k.modifiers.shift;
  const bool ctrl = k.modifiers.ctrl;
  auto moved = [&](Motion m) {
    buffer_.move(m, shift);
    sticky_x_.reset();
    return Result::Handled;
  };
  switch (k.key) {
    case Key::Left:
      return moved(ctrl ? Motion::WordLeft : Motion::Left);
    case Key::Right:
      return moved(ctrl ? Motion::WordRight : Motion::Right);
    case Key::Home:
      if (ctrl) return moved(Motion::Start);
      line_edge(false, shift);
      sticky_x_.reset();
      return Result::Handled;
    case Key::End:
      if (ctrl) return moved(Motion::End);
      line_edge(true, shift);
      sticky_x_.reset();
      return Result::Handled;
    case Key::Up:
    case Key::Down:
      if (!multiline_) return Result::Ignored;
      vertical_move(k.key == Key::Up ? -1 : 1, shift);
      return Result::Handled;
    case Key::Backspace:
      buffer_.delete_backward(ctrl);
      sticky_x_.reset();
      return Result::Handled;
    case Key::Delete:
      buffer_.delete_forward(ctrl);
      sticky_x_.reset();
      return Result::Handled;
    case Key::Enter:
      if (shift && multiline_ && shift_enter_newline_) {
        insert_typed("\n", EditKind::Other);
        return Result::Handled;
      }
      return Result::Submit;
    case Key::Character:
    case Key::Space:
      break;
    default:
      return Result::Ignored;
  }
  if (!ctrl || k.modifiers.alt) return Result::Handled;  // the text arrives as a TextEvent
  switch (k.character) {
    case 'a':
      buffer_.select_all();
      return Result::Handled;
    case 'c':
      if (buffer_.has_selection()) clipboard::set_text(buffer_.selected_text());
      return Result::Handled;
    case 'x':
      if (buffer_.has_selection()) {
        clipboard::set_text(buffer_.selected_text());
        buffer_.delete_backward();
      }
      return Result::Handled;
    case 'v':
      insert_typed(clipboard::get_text(), EditKind::Other);
      return Result::Handled;
    case 'z':
      if (shift) {
        buffer_.redo();
      } else {
        buffer_.undo();
      }
      return Result::Handled;
    case 'y':
      buffer_.redo();
      return Result::Handled;
    default:
      return Result::Ignored;
  }
}

TextInput::Result TextInput::handle_event(const Event& event, double scale_factor) {
  const double scale = scale_factor > 0 ? scale_factor : 1;
  Result r = Result::Ignored;
  if (const auto* press = std::get_if<PointerPressEvent>(&event)) {
    r = handle_press(*press, scale);
  } else if (const auto* move = std::get_if<PointerMoveEvent>(&event)) {
    r = handle_move(*move, scale);
  } else if (std::holds_alternative<PointerReleaseEvent>(event)) {
    if (drag_ != DragUnit::None) r = Result::Handled;
    drag_ = DragUnit::None;
  } else if (const auto* wheel = std::get_if<WheelEvent>(&event)) {
    const Point p{wheel->position.x / scale, wheel->position.y / scale};
    if (multiline_ && rect_.contains(p)) {
      const double step = wheel->unit == WheelUnit::Lines ? 3 * style_.font_size * 1.3 : 1.0;
      const double view = std::max(0.0, rect_.height() - 2 * style_.padding_y);
      const double content = content_height() - 2 * style_.padding_y;
      const double before = scroll_;
      scroll_ = std::clamp(scroll_ - wheel->dy * step, 0.0, std::max(0.0, content - view));
      if (scroll_ != before) r = Result::Handled;
    }
    return r;  // scrolling the view never pulls it back to the caret
  } else if (!focused_) {
    return Result::Ignored;
  } else if (const auto* key = std::get_if<KeyPressEvent>(&event)) {
    r = handle_key(*key);
  } else if (const auto* text = std::get_if<TextEvent>(&event)) {
    preedit_.clear();
    insert_typed(text->text, EditKind::Typing);
    r = Result::Handled;
  } else if (const auto* edit = std::get_if<TextEditingEvent>(&event)) {
    preedit_ = text_edit::sanitize(fit_to_lines(edit->text));
    r = Result::Handled;
  }
  if (r != Result::Ignored) keep_caret_visible();
  return r;
}

void TextInput::paint(Painter& painter, Rect rect) {
  paint(painter.cairo(), rect);
}

void TextInput::paint(cairo_t* cr, Rect rect) {
  set_rect(rect);
  cairo_save(cr);
  cairo_rectangle(cr, rect.x0, rect.y0, rect.width(), rect.height());
  cairo_clip(cr);
  PangoLayout* l = layout();
  const Point o = text_origin();
  if (buffer_.text().empty() && preedit_.empty() && !placeholder_.empty()) {
    text::LayoutPtr ph = text::new_layout();
    text::set_font(ph.get(), style_.font_family, style_.font_size);
    pango_layout_set_text(ph.get(), placeholder_.data(), static_cast<int>(placeholder_.size()));
    pango_layout_set_width(ph.get(), pango_layout_get_width(l));
    pango_layout_set_ellipsize(ph.get(), multiline_ ? PANGO_ELLIPSIZE_NONE : PANGO_ELLIPSIZE_END);
    if (!multiline_) {
      pango_layout_set_width(
          ph.get(),
          static_cast<int>(std::max(1.0, rect.width() - 2 * style_.padding_x) * PANGO_SCALE));
    }
    ink::set_source(cr, style_.placeholder);
    cairo_move_to(cr, rect.x0 + style_.padding_x, o.y);
    pango_cairo_show_layout(cr, ph.get());
  }
  const auto sel = buffer_.selection();
  if (!sel.empty()) {
    ink::set_source(cr, style_.selection);
    text::fill_range(cr, l, o, display_index(sel.start), display_index(sel.end));
  }
  ink::set_source(cr, style_.text);
  cairo_move_to(cr, o.x, o.y);
  pango_cairo_show_layout(cr, l);
  if (focused_) {
    const Rect c = caret_rect();
    ink::set_source(cr, style_.caret);
    cairo_rectangle(cr, c.x0, c.y0, c.width(), c.height());
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

}  // namespace vesk_ui
