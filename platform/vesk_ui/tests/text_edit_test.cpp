#include "vesk_ui/text_edit.hpp"

#include <glib.h>
#include <gtest/gtest.h>

#include <random>


namespace {

using vesk_ui::text_edit::Boundaries;
using vesk_ui::text_edit::EditBuffer;

TEST(TextEdit, GraphemeStops) {
  // e + combining acute (one grapheme, 3 bytes), a family emoji joined with
  // ZWJ (one grapheme), then "x".
  const std::string s =
      "e\xCC\x81"
      "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9"
      "x";
  Boundaries b(s);
  EXPECT_EQ(b.next(0), 3u);
  EXPECT_EQ(b.next(3), s.size() - 1);
  EXPECT_EQ(b.prev(s.size()), s.size() - 1);
  EXPECT_EQ(b.prev(s.size() - 1), 3u);
  EXPECT_EQ(b.snap(5), 3u) << "inside the emoji snaps back to its start";
  EXPECT_EQ(b.snap(1000), s.size());
}

TEST(TextEdit, WordAt) {
  const std::string s = "hello,  wide world";
  Boundaries b(s);
  const std::pair<std::size_t, std::pair<std::size_t, std::size_t>> cases[] = {
      {0, {0, 5}},                                      // start of a word
      {3, {0, 5}},                                      // inside
      {5, {5, 8}},                                      // the punctuation and spaces between words
      {6, {5, 8}}, {8, {8, 12}}, {s.size(), {13, 18}},  // at the end: the last word
  };
  for (const auto& [pos, want] : cases) EXPECT_EQ(b.word_at(pos), want) << pos;
}

// Whatever the edits, the text stays valid UTF-8 and the caret sits on a
// grapheme stop: random edit scripts over mixed-script text.
TEST(TextEdit, RandomEditsNeverSplitACodePoint) {
  const char* pieces[] = {"a", "é", "👍🏽", "🇫🇷", "日本", " ", "\n", "e\xCC\x81", "\xff"};
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    EditBuffer buf;
    for (int i = 0; i < 40; ++i) {
      switch (rng() % 9) {
        case 0:
          buf.insert(pieces[rng() % 9], vesk_ui::text_edit::EditKind::Typing);
          break;
        case 1:
          buf.delete_backward(rng() % 2 == 0);
          break;
        case 2:
          buf.delete_forward(rng() % 2 == 0);
          break;
        case 3:
          buf.set_caret(rng() % (buf.text().size() + 3), rng() % 2 == 0);
          break;
        case 4:
          buf.move(static_cast<vesk_ui::text_edit::Motion>(rng() % 8), rng() % 2 == 0);
          break;
        case 5:
          buf.undo();
          break;
        case 6:
          buf.redo();
          break;
        case 7:
          buf.select(rng() % 50, rng() % 50);
          break;
        default:
          buf.insert(pieces[rng() % 9]);
          break;
      }
      const std::string& t = buf.text();
      ASSERT_TRUE(g_utf8_validate(t.data(), static_cast<gssize>(t.size()), nullptr));
      ASSERT_LE(buf.caret(), t.size());
      ASSERT_TRUE(buf.boundaries().is_stop(buf.caret()));
      ASSERT_TRUE(buf.boundaries().is_stop(buf.anchor()));
    }
  }
}

TEST(TextEdit, UndoHistoryIsBounded) {
  EditBuffer buf;
  for (int i = 0; i < 500; ++i) buf.insert("x");  // each Other edit is its own step
  int steps = 0;
  while (buf.undo()) ++steps;
  EXPECT_EQ(steps, 200);
  EXPECT_EQ(buf.text().size(), 300u);
}

}  // namespace
