#include "vesk_ui/text_input.hpp"

#include <cairo.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "vesk_ui/clipboard.hpp"

namespace {

using vesk_ui::Event;
using vesk_ui::Key;
using vesk_ui::KeyPressEvent;
using vesk_ui::Modifiers;
using vesk_ui::TextInput;

// One step of a script: "t:abc" types abc (a TextEvent), "k:Left" presses a
// key, with prefixes "S-" (Shift), "C-" (Ctrl) and "CS-"; "k:C-c" is Ctrl+C.
Event step(const std::string& s) {
  if (s.rfind("t:", 0) == 0) return vesk_ui::TextEvent{s.substr(2)};
  std::string k = s.substr(2);
  KeyPressEvent e;
  auto dash = k.find('-');
  if (dash != std::string::npos && dash + 1 < k.size()) {
    const std::string mods = k.substr(0, dash);
    e.modifiers.shift = mods.find('S') != std::string::npos;
    e.modifiers.ctrl = mods.find('C') != std::string::npos;
    k = k.substr(dash + 1);
  }
  static const std::pair<const char*, Key> named[] = {
      {"Left", Key::Left},   {"Right", Key::Right}, {"Up", Key::Up},          {"Down", Key::Down},
      {"Home", Key::Home},   {"End", Key::End},     {"Back", Key::Backspace}, {"Del", Key::Delete},
      {"Enter", Key::Enter}, {"Esc", Key::Escape},  {"Tab", Key::Tab}};
  for (const auto& [name, key] : named) {
    if (k == name) {
      e.key = key;
      return e;
    }
  }
  e.key = Key::Character;
  e.character = static_cast<char32_t>(k.at(0));
  return e;
}

vesk_ui::PointerPressEvent press_at(vesk_ui::Point p, int clicks = 1) {
  vesk_ui::PointerPressEvent e;
  e.position = p;
  e.clicks = clicks;
  return e;
}
vesk_ui::PointerReleaseEvent release_at(vesk_ui::Point p) {
  vesk_ui::PointerReleaseEvent e;
  e.position = p;
  return e;
}

std::vector<std::string> split(const std::string& script) {
  std::vector<std::string> out;
  std::istringstream in(script);
  std::string tok;
  while (std::getline(in, tok, '|')) out.push_back(tok);
  return out;
}

struct Case {
  const char* name;
  const char* initial;
  const char* script;
  const char* text;
  std::size_t caret;
  std::size_t sel_start;
  std::size_t sel_end;
};

// "é" is 2 bytes; "👍🏽" (thumbs up + skin tone) is one grapheme of 8 bytes;
// "🇫🇷" (two regional indicators) is one grapheme of 8 bytes.
const Case kCases[] = {
    {"typing", "", "t:hello|t: world", "hello world", 11, 11, 11},
    {"left by grapheme", "ab", "k:Left|t:X", "aXb", 2, 2, 2},
    {"left over a two byte letter", "é", "k:Left", "é", 0, 0, 0},
    {"backspace a whole emoji cluster", "a👍🏽", "k:Back", "a", 1, 1, 1},
    {"backspace a flag", "🇫🇷b", "k:Left|k:Back", "b", 0, 0, 0},
    {"delete forward by grapheme", "éa", "k:C-Home|k:Del", "a", 0, 0, 0},
    {"shift extends left", "hello", "k:S-Left|k:S-Left", "hello", 3, 3, 5},
    {"left collapses a selection to its start", "hello", "k:S-Left|k:S-Left|k:Left", "hello", 3, 3,
     3},
    {"right collapses a selection to its end", "hello", "k:Home|k:S-Right|k:S-Right|k:Right",
     "hello", 2, 2, 2},
    {"typing replaces the selection", "hello", "k:S-Home|t:bye", "bye", 3, 3, 3},
    {"ctrl left to word start", "one two three", "k:C-Left|k:C-Left", "one two three", 4, 4, 4},
    {"ctrl right to word end", "one two three", "k:Home|k:C-Right|k:C-Right", "one two three", 7, 7,
     7},
    {"ctrl shift selects a word", "one two", "k:CS-Left", "one two", 4, 4, 7},
    {"ctrl backspace deletes a word", "one two", "k:C-Back", "one ", 4, 4, 4},
    {"ctrl delete deletes to word end", "one two", "k:Home|k:C-Del", " two", 0, 0, 0},
    {"select all", "abc", "k:C-a", "abc", 3, 0, 3},
    {"select all and delete", "abc", "k:C-a|k:Back", "", 0, 0, 0},
    {"home and end", "abc", "k:Home|t:<|k:End|t:>", "<abc>", 5, 5, 5},
    {"undo a typed word in one step", "", "t:h|t:e|t:y|k:C-z", "", 0, 0, 0},
    {"undo then redo", "", "t:a|t:b|k:C-z|k:C-y", "ab", 2, 2, 2},
    {"ctrl shift z redoes", "", "t:a|k:C-z|k:CS-z", "a", 1, 1, 1},
    {"undo a selection replacement restores the selection", "hello", "k:S-Left|t:X|k:C-z", "hello",
     4, 4, 5},
    {"a move splits undo groups", "", "t:a|k:Left|k:Right|t:b|k:C-z", "a", 1, 1, 1},
    {"cut and paste", "hello world", "k:CS-Left|k:C-x|k:Home|k:C-v", "worldhello ", 5, 5, 5},
    {"copy keeps the text", "abc", "k:C-a|k:C-c|k:End|k:C-v", "abcabc", 6, 6, 6},
    {"backspace at start does nothing", "ab", "k:Home|k:Back", "ab", 0, 0, 0},
    {"delete at end does nothing", "ab", "k:Del", "ab", 2, 2, 2},
    {"enter submits and changes nothing", "ab", "k:Enter", "ab", 2, 2, 2},
    {"escape and tab are left to the owner", "ab", "k:Esc|k:Tab", "ab", 2, 2, 2},
    {"broken utf8 typed becomes a replacement character", "", "t:a\xff", "a\xEF\xBF\xBD", 4, 4, 4},
};

TEST(TextInput, BehaviourTable) {
  for (const Case& c : kCases) {
    TextInput input;
    input.set_rect(vesk_ui::Rect::from_xywh(0, 0, 400, 32));
    input.set_focused(true);
    input.set_text(c.initial);
    for (const std::string& s : split(c.script)) input.handle_event(step(s));
    EXPECT_EQ(input.text(), c.text) << c.name;
    EXPECT_EQ(input.cursor(), c.caret) << c.name;
    EXPECT_EQ(input.selection().start, c.sel_start) << c.name;
    EXPECT_EQ(input.selection().end, c.sel_end) << c.name;
  }
}

TEST(TextInput, ResultsTellTheOwnerWhatHappened) {
  TextInput input(true);
  input.set_rect(vesk_ui::Rect::from_xywh(0, 0, 300, 80));
  EXPECT_EQ(input.handle_event(step("t:x")), TextInput::Result::Ignored) << "unfocused";
  EXPECT_EQ(input.text(), "");
  input.set_focused(true);
  EXPECT_EQ(input.handle_event(step("t:x")), TextInput::Result::Handled);
  EXPECT_EQ(input.handle_event(step("k:Enter")), TextInput::Result::Submit);
  EXPECT_EQ(input.handle_event(step("k:S-Enter")), TextInput::Result::Submit)
      << "Shift+Enter submits unless the owner asks for line breaks";
  input.set_shift_enter_newline(true);
  EXPECT_EQ(input.handle_event(step("k:S-Enter")), TextInput::Result::Handled);
  EXPECT_EQ(input.text(), "x\n");
  EXPECT_EQ(input.handle_event(step("k:Esc")), TextInput::Result::Ignored);
}

TEST(TextInput, TakeDirtyReportsEachChangeOnce) {
  TextInput input;
  input.set_focused(true);
  input.set_text("draft");
  EXPECT_FALSE(input.take_dirty()) << "the owner's own set_text is not news to it";
  input.handle_event(step("k:Left"));
  EXPECT_FALSE(input.take_dirty()) << "a caret move changes no text";
  input.handle_event(step("t:!"));
  EXPECT_TRUE(input.take_dirty());
  EXPECT_FALSE(input.take_dirty());
  input.handle_event(step("k:C-z"));
  EXPECT_TRUE(input.take_dirty());
  input.insert_text("🙂");
  EXPECT_TRUE(input.take_dirty());
}

TEST(TextInput, SetTextPutsTheCaretAtTheEndButTheSameTextKeepsIt) {
  TextInput input;
  input.set_focused(true);
  input.set_text("hello");
  EXPECT_EQ(input.cursor(), 5u);
  input.handle_event(step("k:Home"));
  input.set_text("hello");  // an owner refreshing from its model every frame
  EXPECT_EQ(input.cursor(), 0u);
  input.set_text("other text");
  EXPECT_EQ(input.cursor(), 10u);
  input.handle_event(step("k:C-z"));
  EXPECT_EQ(input.text(), "other text") << "a replaced text has no history to undo";
}

TEST(TextInput, SingleLineTurnsBreaksIntoSpaces) {
  TextInput single;
  single.set_focused(true);
  vesk_ui::clipboard::set_text("a\r\nb\nc");
  single.handle_event(step("k:C-v"));
  EXPECT_EQ(single.text(), "a b c");
  TextInput multi(true);
  multi.set_focused(true);
  multi.handle_event(step("k:C-v"));
  EXPECT_EQ(multi.text(), "a\nb\nc");
}

TEST(TextInput, CompositionIsShownButNotCommitted) {
  TextInput input;
  input.set_rect(vesk_ui::Rect::from_xywh(0, 0, 300, 30));
  input.set_focused(true);
  input.set_text("ab");
  input.handle_event(vesk_ui::TextEditingEvent{"ニ", 1});
  EXPECT_EQ(input.preedit(), "ニ");
  EXPECT_EQ(input.text(), "ab");
  EXPECT_FALSE(input.take_dirty());
  input.handle_event(vesk_ui::TextEvent{"日本"});
  EXPECT_EQ(input.preedit(), "");
  EXPECT_EQ(input.text(), "ab日本");
  EXPECT_TRUE(input.take_dirty());
}

TEST(TextInput, VerticalMovesFollowVisualLines) {
  TextInput input(true);
  input.set_rect(vesk_ui::Rect::from_xywh(0, 0, 400, 200));
  input.set_focused(true);
  input.set_text("first line\nsecond\nthird line");
  // From the end of "third line", Up lands on "second" clamped to its end,
  // and a second Up keeps the remembered column on "first line".
  input.handle_event(step("k:Up"));
  EXPECT_EQ(input.cursor(), std::string("first line\nsecond").size());
  input.handle_event(step("k:Up"));
  EXPECT_EQ(input.cursor(), std::string("first line").size());
  input.handle_event(step("k:Up"));
  EXPECT_EQ(input.cursor(), 0u) << "Up on the first line goes to the start";
  input.handle_event(step("k:S-Down"));
  input.handle_event(step("k:S-Down"));
  input.handle_event(step("k:S-Down"));
  EXPECT_EQ(input.selection().start, 0u);
  EXPECT_EQ(input.selection().end, input.text().size()) << "Down on the last line goes to the end";
  input.handle_event(step("k:Down"));
  input.handle_event(step("k:Up"));
  input.handle_event(step("k:Home"));
  EXPECT_EQ(input.cursor(), std::string("first line\n").size()) << "Home of the visual line";
  input.handle_event(step("k:End"));
  EXPECT_EQ(input.cursor(), std::string("first line\nsecond").size());
}

TEST(TextInput, SingleLineLeavesUpAndDownToTheOwner) {
  TextInput input;
  input.set_focused(true);
  EXPECT_EQ(input.handle_event(step("k:Up")), TextInput::Result::Ignored);
}

TEST(TextInput, MouseSelectsGraphemesWordsAndLines) {
  TextInput input(true);
  input.set_rect(vesk_ui::Rect::from_xywh(0, 0, 600, 200));
  input.set_text("alpha beta gamma\nsecond line here");
  const vesk_ui::Rect caret_of_beta = [&] {
    input.set_cursor(std::string("alpha b").size());
    return input.caret_rect();
  }();
  const vesk_ui::Point in_beta{caret_of_beta.x0 + 1, caret_of_beta.center().y};
  EXPECT_EQ(input.offset_at(in_beta), std::string("alpha b").size());

  auto press = press_at(in_beta, 2);
  EXPECT_EQ(input.handle_event(press), TextInput::Result::Handled);
  EXPECT_TRUE(input.focused());
  EXPECT_EQ(input.selected_text(), "beta");
  input.handle_event(release_at(in_beta));

  press.clicks = 3;
  input.handle_event(press);
  EXPECT_EQ(input.selected_text(), "alpha beta gamma");
  input.handle_event(release_at(in_beta));

  // Press in "beta" and drag to the end of the second line.
  press.clicks = 1;
  input.handle_event(press);
  input.set_cursor(input.text().size());
  const vesk_ui::Rect end_caret = input.caret_rect();
  input.select(std::string("alpha b").size(), std::string("alpha b").size());
  input.handle_event(vesk_ui::PointerMoveEvent{{end_caret.x0 + 20, end_caret.center().y}, {}});
  EXPECT_EQ(input.selected_text(), "eta gamma\nsecond line here");
  input.handle_event(release_at(in_beta));
  // A move without a button held selects nothing more.
  input.handle_event(vesk_ui::PointerMoveEvent{in_beta, {}});
  EXPECT_EQ(input.selected_text(), "eta gamma\nsecond line here");

  // Physical pixels are divided by the scale factor.
  auto scaled = press_at({in_beta.x * 2, in_beta.y * 2});
  input.handle_event(scaled, 2.0);
  EXPECT_EQ(input.cursor(), std::string("alpha b").size());

  // A press outside takes the focus away.
  input.handle_event(press_at({700, 10}));
  EXPECT_FALSE(input.focused());
}

TEST(TextInput, ScrollsToKeepTheCaretVisible) {
  TextInput input(true);
  input.set_rect(vesk_ui::Rect::from_xywh(0, 0, 200, 60));
  input.set_focused(true);
  std::string many;
  for (int i = 0; i < 12; ++i) many += "line " + std::to_string(i) + "\n";
  input.set_text(many);
  EXPECT_GT(input.scroll_offset(), 0) << "the caret at the end is below the box";
  const vesk_ui::Rect c = input.caret_rect();
  EXPECT_GE(c.y0, 0);
  EXPECT_LE(c.y1, 60);
  input.handle_event(step("k:C-Home"));
  EXPECT_EQ(input.scroll_offset(), 0);
  vesk_ui::WheelEvent wheel;
  wheel.position = {100, 30};
  wheel.dy = -1;
  input.handle_event(wheel);
  EXPECT_GT(input.scroll_offset(), 0) << "the wheel scrolls the text";

  TextInput single;
  single.set_rect(vesk_ui::Rect::from_xywh(0, 0, 80, 30));
  single.set_focused(true);
  single.set_text("a rather long single line of text that cannot fit");
  EXPECT_GT(single.scroll_offset(), 0);
  const vesk_ui::Rect sc = single.caret_rect();
  EXPECT_LE(sc.x1, 80);
}

TEST(TextInput, PaintsPlaceholderSelectionAndCaret) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 40);
  cairo_t* cr = cairo_create(surface);
  auto ink_pixels = [&] {
    cairo_surface_flush(surface);
    const unsigned char* d = cairo_image_surface_get_data(surface);
    int n = 0;
    for (int i = 0; i < 200 * 40; ++i) n += d[i * 4 + 3] != 0;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    return n;
  };
  TextInput input;
  const auto box = vesk_ui::Rect::from_xywh(0, 0, 200, 40);
  input.paint(cr, box);
  EXPECT_EQ(ink_pixels(), 0) << "empty, no placeholder, unfocused";
  input.set_placeholder("Message #general");
  input.paint(cr, box);
  const int placeholder = ink_pixels();
  EXPECT_GT(placeholder, 50);
  input.set_focused(true);
  input.set_text("hi");
  input.paint(cr, box);
  const int text_and_caret = ink_pixels();
  EXPECT_GT(text_and_caret, 20);
  input.select(0, 2);
  input.paint(cr, box);
  EXPECT_GT(ink_pixels(), text_and_caret) << "the selection adds its band";
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

}  // namespace
