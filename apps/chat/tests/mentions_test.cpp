#include "actions/mentions.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace chat {
namespace {

Person person(std::string id, std::string name, bool agent = false) {
  Person p;
  p.id = std::move(id);
  p.name = std::move(name);
  p.agent = agent;
  return p;
}

TEST(Mentions, TableOfTexts) {
  const std::vector<Person> people = {
      person("u_ann", "Ann"),      person("u_anna", "Anna"), person("u_bot", "Helper", true),
      person("u_mj", "Mary Jane"), person("u_mary", "Mary"), person("u_zoe", "Zoë"),
      person("u_empty", ""),       person("u_jp", "太郎"),
  };
  struct Case {
    const char* text;
    std::vector<Mention> expected;
  };
  const Case cases[] = {
      {"no mentions here", {}},
      {"", {}},
      {"@Anna, hi", {{"u_anna", 0, 5, false}}},
      {"@Annabel hi", {}},                    // a letter follows either name
      {"mail ann@Ann.example", {}},           // "@" right after a letter
      {"hi @ann", {{"u_ann", 3, 4, false}}},  // at the end, case ignored
      {"@HELPER do it", {{"u_bot", 0, 7, true}}},
      {"ask @Mary Jane now", {{"u_mj", 4, 10, false}}},  // across the space
      {"ask @Mary Janet", {{"u_mary", 4, 5, false}}},
      {"@Ann@Anna", {{"u_ann", 0, 4, false}}},  // second "@" follows a letter
      {"(@Ann) [@Anna]", {{"u_ann", 1, 4, false}, {"u_anna", 8, 5, false}}},
      {"@@Ann", {{"u_ann", 1, 4, false}}},
      {"@Ann1", {}},  // digits are alphanumeric too
      {"@Ann_", {{"u_ann", 0, 4, false}}},
      {"@zoë!", {{"u_zoe", 0, 5, false}}},             // lower-case matching beyond ASCII
      {"é@Ann", {}},                                   // a Unicode letter before the "@"
      {"٣@Ann", {}},                                   // a non-ASCII digit before the "@"
      {"@Annä", {}},                                   // a Unicode letter after the name
      {"@Ann²", {}},                                   // a number that is not a decimal digit
      {"@Ann\u2764\ufe0f", {{"u_ann", 0, 4, false}}},  // emoji are not letters
      {"👍@Ann", {{"u_ann", 4, 4, false}}},
      {"@太郎さん", {}},
      {"@太郎 さん", {{"u_jp", 0, 7, false}}},
      {"@", {}},
      {"@ ", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(find_mentions(c.text, people), c.expected) << c.text;
  }
}

TEST(Mentions, LowerCasingThatChangesLengthMatchesTheUnchangedText) {
  // "İ" (2 bytes) lower-cases to "i̇" (3 bytes): offsets would shift, so the
  // text is matched as written and only an exact lower-case name fits.
  const std::vector<Person> people = {person("u_ann", "ann")};
  EXPECT_EQ(find_mentions("İ @ann", people), (std::vector<Mention>{{"u_ann", 3, 4, false}}));
  EXPECT_TRUE(find_mentions("İ @Ann", people).empty());
}

TEST(Mentions, EqualLengthNamesKeepModelOrder) {
  const std::vector<Person> people = {person("u_first", "Sam"), person("u_second", "sam")};
  EXPECT_EQ(find_mentions("@sam", people), (std::vector<Mention>{{"u_first", 0, 4, false}}));
}

TEST(Mentions, IllFormedTextNeverCrashesAndStillFindsMentions) {
  const std::vector<Person> people = {person("u_ann", "Ann")};
  EXPECT_EQ(find_mentions("\xff@ann \xc3", people), (std::vector<Mention>{{"u_ann", 1, 4, false}}));
  EXPECT_TRUE(find_mentions("\x80\x80\x80\x80@", people).empty());
}

TEST(Mentions, AlphanumericClasses) {
  for (char32_t c : {U'a', U'Z', U'0', U'é', U'Ж', U'字', U'٣', U'²', U'Ⅻ'}) {
    EXPECT_TRUE(is_alphanumeric(c)) << static_cast<std::uint32_t>(c);
  }
  for (char32_t c : {U' ', U'_', U'@', U'.', U'\u2764', U'\ufe0f', U'\u200d', U'😀'}) {
    EXPECT_FALSE(is_alphanumeric(c)) << static_cast<std::uint32_t>(c);
  }
}

}  // namespace
}  // namespace chat
