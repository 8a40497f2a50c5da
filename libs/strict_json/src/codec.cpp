#include "strict_json/codec.hpp"

#include <fmt/format.h>

#include <cmath>
#include <string>

namespace strict_json::detail {

std::string_view kind_name(const Tree& t) {
  switch (t.type()) {
    case Tree::value_t::null:
      return "null";
    case Tree::value_t::boolean:
      return "bool";
    case Tree::value_t::string:
      return "string";
    case Tree::value_t::number_integer:
    case Tree::value_t::number_unsigned:
      return "integer";
    case Tree::value_t::number_float:
      return "floating-point number";
    case Tree::value_t::object:
      return "object";
    case Tree::value_t::array:
      return "array";
    default:
      return "unsupported value";
  }
}

base::Error wrong_type(const Path& at, std::string_view expected, const Tree& found) {
  return at.error(fmt::format("expected {}, found {}", expected, kind_name(found)));
}

base::Error bad_integer(const Path& at, std::string_view type, const Tree& found) {
  if (found.is_number_float()) {
    double v = found.get<double>();
    // Integers beyond 64 bits reach us as floating point: call them what they are.
    if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) >= 9.2e18) {
      return at.error(fmt::format("{} is out of range for {}", v, type));
    }
    return at.error(fmt::format("expected {}, found floating-point number {}", type, v));
  }
  return at.error(fmt::format("{} is out of range for {}", found.dump(), type));
}

std::string name_list(const std::string_view* names, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    if (i) out += ", ";
    out += names[i];
  }
  return out;
}

}  // namespace strict_json::detail
