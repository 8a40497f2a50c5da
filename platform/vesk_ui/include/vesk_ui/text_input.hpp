#pragma once
// TextInput: a single- or multi-line text editor for immediate-mode views.
// The owner keeps it by value, tells it its box (set_rect, or the rectangle
// given to draw), passes it input events, and reads take_dirty() after each
// event to pick up a changed text.
//
// Mouse: a press places the caret (Shift extends), dragging selects, a double
// click selects a word and a triple click a line. Keys: arrows by grapheme,
// Ctrl+arrows by word, Home/End (Ctrl: whole text), Up/Down by visual line in
// a multi-line input, Shift extends, Backspace/Delete by grapheme (Ctrl: by
// word), Ctrl+A, Ctrl+C/X/V through the system clipboard, Ctrl+Z undo,
// Ctrl+Shift+Z or Ctrl+Y redo. Text comes from TextEvent (keyboard and input
// method); the composition in progress is shown underlined at the caret.
// Enter is reported to the owner as Submit; with shift_enter_newline set,
// Shift+Enter inserts a line break instead.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "vesk_ui/clock.hpp"
#include "vesk_ui/event.hpp"
#include "vesk_ui/geometry.hpp"
#include "vesk_ui/ink.hpp"
#include "vesk_ui/text_edit.hpp"

typedef struct _cairo cairo_t;
typedef struct _PangoLayout PangoLayout;

namespace vesk_ui {

class Painter;

struct TextInputStyle {
  std::string font_family = "Noto Sans";
  double font_size = 14;  // logical pixels
  double padding_x = 10;
  double padding_y = 8;
  ink::Rgba text{0.93, 0.94, 0.96, 1};
  ink::Rgba placeholder{0.60, 0.62, 0.68, 1};
  ink::Rgba selection{0.33, 0.45, 0.95, 0.45};
  ink::Rgba caret{0.93, 0.94, 0.96, 1};
};

class TextInput {
 public:
  enum class Result : unsigned char {
    Ignored,  // not for this input: the owner may route it elsewhere
    Handled,  // consumed (the text, caret or selection may have changed)
    Submit,   // Enter: the owner sends or commits
  };

  explicit TextInput(bool multiline = false);
  ~TextInput();
  TextInput(TextInput&&) noexcept;
  TextInput& operator=(TextInput&&) noexcept;
  TextInput(const TextInput&) = delete;
  TextInput& operator=(const TextInput&) = delete;

  bool multiline() const { return multiline_; }
  // Shift+Enter inserts "\n" (multi-line inputs only); otherwise it submits.
  void set_shift_enter_newline(bool on) { shift_enter_newline_ = on; }

  const std::string& text() const { return buffer_.text(); }
  // A different text replaces the old one with the caret at its end and no
  // undo history; the same text changes nothing (the caret stays). Neither
  // marks the input dirty: the owner already knows what it set.
  void set_text(std::string_view text);
  const std::string& placeholder() const { return placeholder_; }
  void set_placeholder(std::string text) { placeholder_ = std::move(text); }
  // Who types here; kept for owners that tag edits with their author.
  const std::string& local_author() const { return local_author_; }
  void set_local_author(std::string id) { local_author_ = std::move(id); }

  bool focused() const { return focused_; }
  void set_focused(bool focused);

  std::size_t cursor() const { return buffer_.caret(); }
  text_edit::EditBuffer::Selection selection() const { return buffer_.selection(); }
  std::string selected_text() const { return buffer_.selected_text(); }
  void set_cursor(std::size_t byte_offset) { buffer_.set_caret(byte_offset); }
  void select(std::size_t anchor, std::size_t caret) { buffer_.select(anchor, caret); }
  // Inserts at the caret (replacing a selection), as typing would; marks dirty.
  void insert_text(std::string_view text);
  const std::string& preedit() const { return preedit_; }

  // Hands over and clears the changed-text flag: true once per change.
  bool take_dirty() { return buffer_.take_dirty(); }

  // The box in logical pixels; the last draw's rectangle when not set.
  Rect rect() const { return rect_; }
  void set_rect(Rect r);
  void set_style(TextInputStyle style);
  const TextInputStyle& style() const { return style_; }

  Result handle_event(const Event& event, double scale_factor = 1);

  // Paints text, selection, composition, caret (when focused) or the
  // placeholder (when empty), clipped to rect, in logical pixels.
  void paint(cairo_t* cr, Rect rect);
  void paint(Painter& painter, Rect rect);
  // Height the text needs at the current width (for growing composers).
  double content_height();
  double scroll_offset() const { return scroll_; }
  // The caret's rectangle in logical pixels (for input-method placement).
  Rect caret_rect();
  // The byte offset under a point in logical pixels.
  std::size_t offset_at(Point p);

 private:
  Result handle_key(const KeyPressEvent& k);
  Result handle_press(const PointerPressEvent& e, double scale);
  Result handle_move(const PointerMoveEvent& e, double scale);
  void insert_typed(std::string_view text, text_edit::EditKind kind);
  std::string fit_to_lines(std::string_view text) const;
  void vertical_move(int lines, bool extend);
  void line_edge(bool end, bool extend);
  std::pair<std::size_t, std::size_t> unit_at(std::size_t pos) const;
  void extend_drag(std::size_t pos);
  PangoLayout* layout();
  Point text_origin();
  void keep_caret_visible();
  std::size_t display_index(std::size_t offset) const;
  std::size_t model_offset(std::size_t display_index) const;

  bool multiline_ = false;
  bool shift_enter_newline_ = false;
  bool focused_ = false;
  text_edit::EditBuffer buffer_;
  std::string placeholder_;
  std::string local_author_;
  std::string preedit_;
  Rect rect_;
  TextInputStyle style_;
  double scroll_ = 0;               // x for a single-line input, y for a multi-line one
  std::optional<double> sticky_x_;  // column kept across Up/Down
  enum class DragUnit : unsigned char { None, Grapheme, Word, Line } drag_ = DragUnit::None;
  std::pair<std::size_t, std::size_t> drag_origin_{0, 0};

  struct LayoutCache;
  std::unique_ptr<LayoutCache> cache_;
};

}  // namespace vesk_ui
