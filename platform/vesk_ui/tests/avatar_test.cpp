#include "vesk_ui/avatar.hpp"

#include <glib.h>
#include <gtest/gtest.h>

namespace {

struct InitialsCase {
  const char* name;
  const char* expected;
};

TEST(Avatar, InitialsForName) {
  const InitialsCase cases[] = {
      {"Ada Lovelace", "AL"},
      {"ada", "A"},
      {"grace brewster hopper", "GB"},  // only the first two words
      {"  spaced   out  ", "SO"},
      {"émile zola", "ÉZ"},  // Unicode upper-casing
      {"ßtraße", "ß"},       // no single-character upper case: kept
      {"Ωmega πi", "ΩΠ"},
      {"Юрий гагарин", "ЮГ"},
      {"3D printer", "DP"},  // a word's first letter, not its first character
      {"123 456", ""},       // no letters at all
      {"", ""},
      {"   ", ""},
      {"🚀 launch team", "LT"},  // a word without a letter gives nothing
      {"@bob", "B"},
      {"\xff\xfe ok", "O"},  // broken bytes are skipped
      {"a\tb\nc", "AB"},     // any white space separates words
  };
  for (const auto& c : cases) {
    EXPECT_EQ(vesk_ui::Avatar::initials_for_name(c.name), c.expected) << "name: " << c.name;
  }
}

TEST(Avatar, InitialsAreValidUtf8AndAtMostTwoCharacters) {
  const char* names[] = {"\xe2\x82", "a\xe2\x82\xac b", "x\xc3", "\xf0\x9f\x98 y z"};
  for (const char* n : names) {
    std::string out = vesk_ui::Avatar::initials_for_name(n);
    EXPECT_TRUE(g_utf8_validate(out.data(), static_cast<gssize>(out.size()), nullptr)) << n;
    EXPECT_LE(g_utf8_strlen(out.data(), static_cast<gssize>(out.size())), 2) << n;
  }
}

}  // namespace
