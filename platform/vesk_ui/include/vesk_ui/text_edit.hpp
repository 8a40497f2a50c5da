#pragma once
// The editing model behind TextInput: a UTF-8 text with a caret, a selection
// anchor and an undo history. Positions are byte offsets that always sit on
// a grapheme boundary, so no edit can split a code point or a cluster such as
// an emoji with its modifiers. Boundaries come from Pango's text analysis,
// the same one that shapes the text on screen.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vesk_ui::text_edit {

// Replaces broken UTF-8 with U+FFFD and drops NUL bytes.
std::string sanitize(std::string_view text);

// Caret stops and word edges of one text, by byte offset (0 ..= size).
class Boundaries {
 public:
  explicit Boundaries(std::string_view text);

  std::size_t size() const { return flags_.empty() ? 0 : flags_.size() - 1; }
  bool is_stop(std::size_t pos) const;
  // The nearest stop at or before pos (pos is clamped to the text).
  std::size_t snap(std::size_t pos) const;
  std::size_t next(std::size_t pos) const;  // next grapheme stop, or size()
  std::size_t prev(std::size_t pos) const;  // previous grapheme stop, or 0
  std::size_t next_word_end(std::size_t pos) const;
  std::size_t prev_word_start(std::size_t pos) const;
  // The word around pos; between words, the run of non-word text there.
  std::pair<std::size_t, std::size_t> word_at(std::size_t pos) const;

 private:
  enum : std::uint8_t { kStop = 1, kWordStart = 2, kWordEnd = 4 };
  bool has(std::size_t pos, std::uint8_t f) const { return (flags_[pos] & f) != 0; }
  std::vector<std::uint8_t> flags_;
};

enum class Motion : std::uint8_t {
  Left,
  Right,
  WordLeft,
  WordRight,
  LineStart,
  LineEnd,
  Start,
  End
};

// Why an edit happened: consecutive edits of one kind at one place merge into
// one undo step, as typing a word is one step.
enum class EditKind : std::uint8_t { Typing, Deleting, Other };

class EditBuffer {
 public:
  struct Selection {
    std::size_t start = 0;
    std::size_t end = 0;
    bool empty() const { return start == end; }
    friend bool operator==(const Selection&, const Selection&) = default;
  };

  EditBuffer() : bounds_("") {}

  const std::string& text() const { return text_; }
  std::size_t caret() const { return caret_; }
  std::size_t anchor() const { return anchor_; }
  Selection selection() const;
  bool has_selection() const { return caret_ != anchor_; }
  std::string selected_text() const;
  const Boundaries& boundaries() const { return bounds_; }

  // Replaces the whole text (sanitised) with the caret at its end and forgets
  // the undo history. Answers whether the text differed; an equal text keeps
  // the caret and the history, so an owner may set its model's text every
  // frame without fighting the user's caret.
  bool set_text(std::string_view text);

  // Moves the caret to pos (snapped to a grapheme stop); with extend the
  // anchor stays, else it follows.
  void set_caret(std::size_t pos, bool extend = false);
  void select(std::size_t anchor, std::size_t caret);
  void select_all() { select(0, text_.size()); }
  // Moves by a motion. Left/Right without extend collapse a selection to
  // its edge. LineStart/LineEnd use the text's own line breaks.
  void move(Motion m, bool extend);

  // Replaces the selection (or inserts at the caret) with text; the caret
  // ends after it. Answers whether the text changed.
  bool insert(std::string_view text, EditKind kind = EditKind::Other);
  // Deletes the selection, else one grapheme (or one word) before/after the
  // caret. Answers whether the text changed.
  bool delete_backward(bool word = false);
  bool delete_forward(bool word = false);

  bool can_undo() const { return !undo_.empty(); }
  bool can_redo() const { return !redo_.empty(); }
  bool undo();
  bool redo();
  // Ends the current undo group (a caret move, a focus change).
  void break_undo_group() { group_open_ = false; }

  // Hands over and clears the flag set by every edit that changed the text.
  bool take_dirty();

 private:
  struct Snapshot {
    std::string text;
    std::size_t caret = 0;
    std::size_t anchor = 0;
  };
  void replace_range(std::size_t start, std::size_t end, std::string_view with, EditKind kind);
  void restore(Snapshot s);
  // Moves one step from one history to the other, saving the present there.
  bool travel(std::vector<Snapshot>& from, std::vector<Snapshot>& to);
  std::size_t line_start(std::size_t pos) const;
  std::size_t line_end(std::size_t pos) const;

  static constexpr std::size_t kMaxUndo = 200;

  std::string text_;
  Boundaries bounds_;
  std::size_t caret_ = 0;
  std::size_t anchor_ = 0;
  std::vector<Snapshot> undo_;
  std::vector<Snapshot> redo_;
  EditKind group_kind_ = EditKind::Other;
  std::size_t group_end_ = 0;  // where the open group's next edit must happen to merge
  bool group_open_ = false;
  bool dirty_ = false;
};

}  // namespace vesk_ui::text_edit
