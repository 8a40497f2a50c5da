#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "strict_json/codec.hpp"
#include "strict_json/parse.hpp"

namespace sample {

enum class Colour { Red, Green };

struct Leaf {
  std::string name;
  std::uint32_t small = 0;
  std::uint64_t big = 0;
  std::int64_t signed_value = 0;
  std::int32_t narrow = 0;
  friend bool operator==(const Leaf&, const Leaf&) = default;
};

struct Circle {
  std::uint32_t r = 0;
  friend bool operator==(const Circle&, const Circle&) = default;
};
struct Dot {
  friend bool operator==(const Dot&, const Dot&) = default;
};
struct Shape {
  using Variant = std::variant<Circle, Dot>;
  Variant value;
  friend bool operator==(const Shape&, const Shape&) = default;
};
struct Mark {
  using Variant = std::variant<Circle, Dot>;
  Variant value;
  friend bool operator==(const Mark&, const Mark&) = default;
};

struct Tree {
  std::string id;
  std::optional<std::string> note;
  std::vector<Leaf> leaves;
  Colour colour = Colour::Red;
  bool flag = false;
  std::optional<Shape> shape;
  std::vector<Mark> marks;
  friend bool operator==(const Tree&, const Tree&) = default;
};

using namespace strict_json;

constexpr auto json_shape(std::type_identity<Colour>) {
  return enumeration<Colour>("Colour", {{Colour::Red, "Red"}, {Colour::Green, "Green"}});
}
constexpr auto json_shape(std::type_identity<Leaf>) {
  return record<Leaf>("Leaf", required("name", &Leaf::name), required("small", &Leaf::small),
                      required("big", &Leaf::big), required("signed", &Leaf::signed_value),
                      defaulted("narrow", &Leaf::narrow));
}
constexpr auto json_shape(std::type_identity<Circle>) {
  return record<Circle>("Circle", required("r", &Circle::r));
}
constexpr auto json_shape(std::type_identity<Dot>) {
  return record<Dot>("Dot");
}
constexpr auto json_shape(std::type_identity<Shape>) {
  return externally_tagged<Shape>("Shape");
}
constexpr auto json_shape(std::type_identity<Mark>) {
  return internally_tagged<Mark>("Mark", "kind");
}
constexpr auto json_shape(std::type_identity<Tree>) {
  return record<Tree>("Tree", required("id", &Tree::id), optional("note", &Tree::note),
                      defaulted("leaves", &Tree::leaves), defaulted("colour", &Tree::colour),
                      required("flag", &Tree::flag),
                      defaulted("shape", &Tree::shape).omit_when_empty(),
                      defaulted("marks", &Tree::marks).omit_when_empty());
}

}  // namespace sample

namespace strict_json {
namespace {

using sample::Colour;
using sample::Leaf;

TEST(StrictParse, RefusesDuplicatesAtAnyDepthAndSaysWhere) {
  struct Case {
    const char* json;
    const char* error;
  };
  const Case cases[] = {
      {R"({"a":1,"a":2})", "duplicate member \"a\" at $"},
      {R"({"a":{"b":[0,{"c":1,"c":1}]}})", "duplicate member \"c\" at $.a.b[1]"},
      {R"([{"x":null},{"y":1,"y":1}])", "duplicate member \"y\" at $[1]"},
  };
  for (const Case& c : cases) {
    auto tree = parse(c.json);
    ASSERT_FALSE(tree.ok()) << c.json;
    EXPECT_EQ(tree.error(), c.error);
  }
  // Equal keys in different objects are fine.
  EXPECT_TRUE(parse(R"({"a":{"a":1},"b":{"a":2}})").ok());
}

TEST(StrictParse, BoundsNestingWithoutRecursing) {
  auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(parse(nested(128)).ok());
  auto deep = parse(nested(129));
  ASSERT_FALSE(deep.ok());
  EXPECT_NE(deep.error().find("nesting deeper than 128"), std::string::npos);
  // Far beyond any stack: refused, not crashed.
  EXPECT_FALSE(parse(nested(1000000)).ok());
  EXPECT_FALSE(parse(std::string(1000000, '[')).ok());
  Limits shallow;
  shallow.max_depth = 2;
  EXPECT_TRUE(parse(R"({"a":[1]})", shallow).ok());
  EXPECT_FALSE(parse(R"({"a":[[1]]})", shallow).ok());
}

TEST(StrictParse, RefusesBadTextWithAShortPrintableMessage) {
  const std::string long_bad = "\"" + std::string(100000, 'x') + "\xff\"";
  const std::string inputs[] = {
      "",          "{",           "{\"a\":1,}", "[1 2]",       "nul",
      "1e400",     "-1e400",      "\"\xff\"",   "\"\xc3\"",    "\"\xed\xa0\x80\"",
      "\"a\x01\"", "{\"a\":1} x", "'single'",   "\"\\ud800\"", long_bad,
  };
  for (const std::string& input : inputs) {
    auto tree = parse(input);
    ASSERT_FALSE(tree.ok()) << input.substr(0, 40);
    EXPECT_LE(tree.error().size(), 260u) << tree.error();
    EXPECT_EQ(tree.error().find("[json.exception"), std::string::npos) << tree.error();
    for (unsigned char ch : tree.error()) EXPECT_GE(ch, 0x20) << tree.error();
  }
}

TEST(StrictParse, KeepsNumberKindsAndLongStrings) {
  auto tree = parse(R"([18446744073709551615,-9223372036854775808,18446744073709551616,1.5,-0])");
  ASSERT_TRUE(tree.ok()) << tree.error();
  EXPECT_TRUE((*tree)[0].is_number_unsigned());
  EXPECT_TRUE((*tree)[1].is_number_integer());
  EXPECT_TRUE((*tree)[2].is_number_float());
  EXPECT_TRUE((*tree)[3].is_number_float());
  EXPECT_EQ((*tree)[4].get<std::int64_t>(), 0);
  std::string big(1 << 20, 'y');
  auto s = parse("\"" + big + "\"");
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s->get<std::string>(), big);
}

TEST(Printable, EscapesControlAndIllFormedBytesKeepsUtf8) {
  EXPECT_EQ(printable("a\x01\xff"
                      "é😀",
                      100),
            "a\\x01\\xffé😀");
  EXPECT_EQ(printable("\xe0\x80\x80", 100), "\\xe0\\x80\\x80");  // overlong
  EXPECT_EQ(printable("abcdef", 3), "abc...");
}

TEST(Codec, RoundTripsAllShapes) {
  sample::Tree value{"t",
                     "n\u00e9",
                     {Leaf{"x", UINT32_MAX, UINT64_MAX, INT64_MIN, INT32_MIN}},
                     Colour::Green,
                     true,
                     sample::Shape{sample::Dot{}},
                     {sample::Mark{sample::Circle{3}}, sample::Mark{sample::Dot{}}}};
  std::string json = encode(value);
  EXPECT_EQ(json,
            R"({"id":"t","note":"né","leaves":[{"name":"x","small":4294967295,)"
            R"("big":18446744073709551615,"signed":-9223372036854775808,"narrow":-2147483648}],)"
            R"("colour":"Green","flag":true,"shape":"Dot","marks":[{"kind":"Circle","r":3},)"
            R"({"kind":"Dot"}]})");
  auto decoded = decode<sample::Tree>(json);
  ASSERT_TRUE(decoded.ok()) << decoded.error();
  EXPECT_EQ(*decoded, value);

  sample::Tree sparse{"s", std::nullopt, {}, Colour::Red, false, std::nullopt, {}};
  EXPECT_EQ(encode(sparse), R"({"id":"s","note":null,"leaves":[],"colour":"Red","flag":false})");
}

TEST(Codec, DefaultsOptionalsAndArrayForm) {
  auto minimal = decode<sample::Tree>(R"({"flag":false,"id":"i"})");
  ASSERT_TRUE(minimal.ok()) << minimal.error();
  EXPECT_EQ(*minimal, (sample::Tree{"i", std::nullopt, {}, Colour::Red, false, std::nullopt, {}}));

  auto array = decode<sample::Tree>(R"(["i",null,[["l",1,2,-3]],"Green",true,{"Circle":[7]}])");
  ASSERT_TRUE(array.ok()) << array.error();
  EXPECT_EQ(array->leaves.at(0), (Leaf{"l", 1, 2, -3, 0}));
  EXPECT_EQ(array->shape, sample::Shape{sample::Circle{7}});

  // In the array form only defaulted members may be left off the end.
  auto short_array = decode<sample::Tree>(R"(["i"])");
  ASSERT_FALSE(short_array.ok());
  EXPECT_EQ(short_array.error(), "Tree: missing value for member \"note\"");
}

TEST(Codec, ErrorsNameThePathAndTheProblem) {
  struct Case {
    const char* json;
    const char* error;
  };
  const Case cases[] = {
      {R"({"flag":true})", "Tree: missing member \"id\""},
      {R"({"id":"i","flag":1})", "Tree.flag: expected bool, found integer"},
      {R"({"id":"i","flag":true,"leaves":[{"name":"a","small":1,"big":1,"signed":1},)"
       R"({"name":"b","small":4294967296,"big":1,"signed":1}]})",
       "Tree.leaves[1].small: 4294967296 is out of range for u32"},
      {R"({"id":"i","flag":true,"leaves":[{"name":"a","small":1,"big":-1,"signed":1}]})",
       "Tree.leaves[0].big: -1 is out of range for u64"},
      {R"({"id":"i","flag":true,"leaves":[{"name":"a","small":1,"big":1,"signed":1,)"
       R"("narrow":2147483648}]})",
       "Tree.leaves[0].narrow: 2147483648 is out of range for i32"},
      {R"({"id":"i","flag":true,"leaves":[{"name":"a","small":1,"big":1,)"
       R"("signed":9223372036854775808}]})",
       "Tree.leaves[0].signed: 9223372036854775808 is out of range for i64"},
      {R"({"id":"i","flag":true,"leaves":[{"name":"a","small":1.0,"big":1,"signed":1}]})",
       "Tree.leaves[0].small: expected u32, found floating-point number 1"},
      {R"({"id":"i","flag":true,"colour":"red"})",
       "Tree.colour: unknown variant \"red\", expected one of Red, Green"},
      {R"({"id":"i","flag":true,"shape":{"Square":{}}})",
       "Tree.shape: unknown variant \"Square\", expected one of Circle, Dot"},
      {R"({"id":"i","flag":true,"shape":"Circle"})",
       "Tree.shape: variant \"Circle\" needs its members"},
      {R"({"id":"i","flag":true,"shape":{"Circle":{}}})",
       "Tree.shape.Circle: missing member \"r\""},
      {R"({"id":"i","flag":true,"marks":[{"r":1}]})", "Tree.marks[0]: missing member \"kind\""},
      {R"({"id":"i","flag":true,"marks":[{"kind":"Square"}]})",
       "Tree.marks[0].kind: unknown variant \"Square\", expected one of Circle, Dot"},
      {R"({"id":"i","flag":true,"marks":[[]]})",
       "Tree.marks[0]: missing value for member \"kind\""},
      {R"("tree")", "Tree: expected object or array, found string"},
  };
  for (const Case& c : cases) {
    auto decoded = decode<sample::Tree>(c.json);
    ASSERT_FALSE(decoded.ok()) << c.json;
    EXPECT_EQ(decoded.error(), c.error) << c.json;
  }
}

TEST(Codec, ReplacesIllFormedUtf8WhenEncoding) {
  Leaf leaf{
      "a\xff"
      "b",
      0, 0, 0, 0};
  std::string json = encode(leaf);
  EXPECT_EQ(json,
            "{\"name\":\"a\xef\xbf\xbd"
            "b\",\"small\":0,\"big\":0,\"signed\":0,\"narrow\":0}");
  EXPECT_TRUE(decode<Leaf>(json).ok());
}

}  // namespace
}  // namespace strict_json
