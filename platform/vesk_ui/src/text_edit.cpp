#include "vesk_ui/text_edit.hpp"

#include <glib.h>
#include <pango/pango.h>

#include <algorithm>

namespace vesk_ui::text_edit {

std::string sanitize(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      out += "\xEF\xBF\xBD";
      ++p;
      continue;
    }
    const char* next = g_utf8_next_char(p);
    if (c != 0) out.append(p, next);
    p = next;
  }
  return out;
}

Boundaries::Boundaries(std::string_view text) : flags_(text.size() + 1, 0) {
  const glong chars = g_utf8_strlen(text.data(), static_cast<gssize>(text.size()));
  std::vector<PangoLogAttr> attrs(static_cast<std::size_t>(chars) + 1);
  pango_get_log_attrs(text.data(), static_cast<int>(text.size()), -1, pango_language_get_default(),
                      attrs.data(), static_cast<int>(attrs.size()));
  std::size_t byte = 0;
  for (std::size_t i = 0; i < attrs.size(); ++i) {
    std::uint8_t f = 0;
    if (attrs[i].is_cursor_position) f |= kStop;
    if (attrs[i].is_word_start) f |= kWordStart;
    if (attrs[i].is_word_end) f |= kWordEnd;
    flags_[byte] = f;
    if (byte < text.size())
      byte = static_cast<std::size_t>(g_utf8_next_char(text.data() + byte) - text.data());
  }
  flags_.front() |= kStop;
  flags_.back() |= kStop;
}

bool Boundaries::is_stop(std::size_t pos) const {
  return pos < flags_.size() && has(pos, kStop);
}

std::size_t Boundaries::snap(std::size_t pos) const {
  pos = std::min(pos, size());
  while (pos > 0 && !has(pos, kStop)) --pos;
  return pos;
}

std::size_t Boundaries::next(std::size_t pos) const {
  pos = snap(pos);
  if (pos >= size()) return size();
  ++pos;
  while (pos < size() && !has(pos, kStop)) ++pos;
  return pos;
}

std::size_t Boundaries::prev(std::size_t pos) const {
  pos = snap(pos);
  if (pos == 0) return 0;
  return snap(pos - 1);
}

std::size_t Boundaries::next_word_end(std::size_t pos) const {
  pos = snap(pos);
  while (pos < size()) {
    pos = next(pos);
    if (has(pos, kWordEnd)) return pos;
  }
  return size();
}

std::size_t Boundaries::prev_word_start(std::size_t pos) const {
  pos = snap(pos);
  while (pos > 0) {
    pos = prev(pos);
    if (has(pos, kWordStart)) return pos;
  }
  return 0;
}

std::pair<std::size_t, std::size_t> Boundaries::word_at(std::size_t pos) const {
  pos = snap(pos);
  if (pos == size() && pos > 0) pos = prev(pos);  // at the very end, take what precedes
  // The character after pos belongs to a word when a word starts at pos, or
  // when walking back meets a word start before any word end.
  std::size_t s = pos;
  bool in_word = has(pos, kWordStart);
  if (!in_word && !has(pos, kWordEnd)) {
    while (s > 0 && !has(s, kWordStart) && !has(s, kWordEnd)) s = prev(s);
    in_word = has(s, kWordStart);
  }
  if (in_word) {
    std::size_t e = next(s);
    while (e < size() && !has(e, kWordEnd)) e = next(e);
    return {s, e};
  }
  // Between words: the run of non-word text there.
  std::size_t a = pos;
  while (a > 0 && !has(a, kWordEnd)) a = prev(a);
  std::size_t b = next(pos);
  while (b < size() && !has(b, kWordStart)) b = next(b);
  return {a, b};
}

EditBuffer::Selection EditBuffer::selection() const {
  return Selection{std::min(caret_, anchor_), std::max(caret_, anchor_)};
}

std::string EditBuffer::selected_text() const {
  auto s = selection();
  return text_.substr(s.start, s.end - s.start);
}

bool EditBuffer::set_text(std::string_view text) {
  std::string clean = sanitize(text);
  if (clean == text_) return false;
  text_ = std::move(clean);
  bounds_ = Boundaries(text_);
  caret_ = anchor_ = text_.size();
  undo_.clear();
  redo_.clear();
  group_open_ = false;
  return true;
}

void EditBuffer::set_caret(std::size_t pos, bool extend) {
  caret_ = bounds_.snap(pos);
  if (!extend) anchor_ = caret_;
  group_open_ = false;
}

void EditBuffer::select(std::size_t anchor, std::size_t caret) {
  anchor_ = bounds_.snap(anchor);
  caret_ = bounds_.snap(caret);
  group_open_ = false;
}

std::size_t EditBuffer::line_start(std::size_t pos) const {
  std::size_t nl = pos == 0 ? std::string::npos : text_.rfind('\n', pos - 1);
  return nl == std::string::npos ? 0 : nl + 1;
}

std::size_t EditBuffer::line_end(std::size_t pos) const {
  std::size_t nl = text_.find('\n', pos);
  return nl == std::string::npos ? text_.size() : nl;
}

void EditBuffer::move(Motion m, bool extend) {
  Selection sel = selection();
  std::size_t to = caret_;
  switch (m) {
    case Motion::Left:
      to = (!extend && !sel.empty()) ? sel.start : bounds_.prev(caret_);
      break;
    case Motion::Right:
      to = (!extend && !sel.empty()) ? sel.end : bounds_.next(caret_);
      break;
    case Motion::WordLeft:
      to = bounds_.prev_word_start(caret_);
      break;
    case Motion::WordRight:
      to = bounds_.next_word_end(caret_);
      break;
    case Motion::LineStart:
      to = line_start(caret_);
      break;
    case Motion::LineEnd:
      to = line_end(caret_);
      break;
    case Motion::Start:
      to = 0;
      break;
    case Motion::End:
      to = text_.size();
      break;
  }
  set_caret(to, extend);
}

void EditBuffer::replace_range(std::size_t start, std::size_t end, std::string_view with,
                               EditKind kind) {
  const bool merge = group_open_ && kind != EditKind::Other && kind == group_kind_ &&
                     caret_ == group_end_ && anchor_ == caret_;
  if (!merge) {
    undo_.push_back(Snapshot{text_, caret_, anchor_});
    if (undo_.size() > kMaxUndo) undo_.erase(undo_.begin());
  }
  redo_.clear();
  text_.replace(start, end - start, with);
  bounds_ = Boundaries(text_);
  caret_ = anchor_ = bounds_.snap(start + with.size());
  group_kind_ = kind;
  group_end_ = caret_;
  group_open_ = kind != EditKind::Other;
  dirty_ = true;
}

bool EditBuffer::insert(std::string_view text, EditKind kind) {
  std::string clean = sanitize(text);
  Selection sel = selection();
  if (clean.empty() && sel.empty()) return false;
  if (!sel.empty()) group_open_ = false;  // replacing a selection is its own step
  replace_range(sel.start, sel.end, clean, kind);
  return true;
}

bool EditBuffer::delete_backward(bool word) {
  Selection sel = selection();
  if (sel.empty()) {
    sel.start = word ? bounds_.prev_word_start(caret_) : bounds_.prev(caret_);
    sel.end = caret_;
  } else {
    group_open_ = false;
  }
  if (sel.empty()) return false;
  replace_range(sel.start, sel.end, {}, EditKind::Deleting);
  return true;
}

bool EditBuffer::delete_forward(bool word) {
  Selection sel = selection();
  if (sel.empty()) {
    sel.start = caret_;
    sel.end = word ? bounds_.next_word_end(caret_) : bounds_.next(caret_);
  } else {
    group_open_ = false;
  }
  if (sel.empty()) return false;
  replace_range(sel.start, sel.end, {}, EditKind::Deleting);
  return true;
}

void EditBuffer::restore(Snapshot s) {
  text_ = std::move(s.text);
  bounds_ = Boundaries(text_);
  caret_ = bounds_.snap(s.caret);
  anchor_ = bounds_.snap(s.anchor);
  group_open_ = false;
  dirty_ = true;
}

bool EditBuffer::travel(std::vector<Snapshot>& from, std::vector<Snapshot>& to) {
  if (from.empty()) return false;
  to.push_back(Snapshot{text_, caret_, anchor_});
  Snapshot s = std::move(from.back());
  from.pop_back();
  restore(std::move(s));
  return true;
}

bool EditBuffer::undo() {
  return travel(undo_, redo_);
}

bool EditBuffer::redo() {
  return travel(redo_, undo_);
}

bool EditBuffer::take_dirty() {
  return std::exchange(dirty_, false);
}

}  // namespace vesk_ui::text_edit
