#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "base/random.hpp"
#include "base/result.hpp"

namespace {

TEST(Uuid, V4FormsCarryVersionAndVariant) {
  const std::regex simple("^[0-9a-f]{12}4[0-9a-f]{3}[89ab][0-9a-f]{15}$");
  const std::regex hyph("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const auto u = base::Uuid::v4();
    EXPECT_TRUE(std::regex_match(u.simple(), simple)) << u.simple();
    EXPECT_TRUE(std::regex_match(u.hyphenated(), hyph)) << u.hyphenated();
    seen.insert(u.simple());
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(Fnv1a, KnownVectors) {
  EXPECT_EQ(base::fnv1a64(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(base::fnv1a64("a"), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(base::fnv1a64("foobar"), 0x85944171f73967e8ull);
}

base::Result<int> half(int v) {
  if (v % 2) return base::make_error("odd");
  return v / 2;
}
base::Result<int> quarter(int v) {
  int h = VESK_TRY(half(v));
  return VESK_TRY(half(h));
}

TEST(Result, TryPropagatesFirstError) {
  EXPECT_EQ(quarter(8).value(), 2);
  auto r = quarter(6);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error(), "odd");
}

}  // namespace
