#include "base/text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

TEST(Trim, DropsAsciiWhiteSpaceAtBothEndsOnly) {
  using namespace std::string_literals;
  struct Case {
    std::string_view in;
    std::string out;
  };
  const Case cases[] = {
      {"", ""},
      {" \t\n\v\f\r", ""},
      {"name", "name"},
      {"  name  ", "name"},
      {"\tkey = value\r\n", "key = value"},
      {"\v\fa b\f\v", "a b"},
      {"a \t b", "a \t b"},                        // inner white space stays
      {"\xc2\xa0x\xc2\xa0", "\xc2\xa0x\xc2\xa0"},  // no-break space is not ASCII
      {" \xe2\x80\x83zo\xc3\xab ", "\xe2\x80\x83zo\xc3\xab"},
      {std::string_view("\0 x \0", 5), "\0 x \0"s},  // NUL is not white space
  };
  for (const Case& c : cases) {
    EXPECT_EQ(base::trim(c.in), c.out) << '"' << std::string(c.in) << '"';
  }
}

}  // namespace
