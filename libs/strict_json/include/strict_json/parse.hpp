#pragma once
// Strict parsing of JSON text into a tree. Unlike a plain parse, a member given
// twice is refused rather than silently overwritten, and nesting is bounded so
// that hostile input cannot exhaust the stack of whoever walks the tree later.

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string_view>

#include "base/result.hpp"

namespace strict_json {

// The parsed form. Numbers keep their JSON kind: signed or unsigned integer, or
// floating point (integers beyond 64 bits arrive as floating point).
using Tree = nlohmann::json;

struct Limits {
  std::size_t max_depth = 128;
  // Error texts quote the offending input; beyond this many bytes they are cut.
  std::size_t max_error_bytes = 200;
};

// Parses one JSON text (RFC 8259, UTF-8). Fails with a readable message on a
// syntax error, invalid UTF-8, a number that does not fit a double, a duplicate
// member (naming it and where it is) or nesting deeper than the limit.
base::Result<Tree> parse(std::string_view text, const Limits& limits = {});

// Makes a message safe to show or log: control bytes and ill-formed UTF-8 escaped,
// length bounded.
std::string printable(std::string_view text, std::size_t max_bytes);

}  // namespace strict_json
