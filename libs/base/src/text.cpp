#include "base/text.hpp"

namespace base {

std::string trim(std::string_view text) {
  constexpr std::string_view kSpace = " \t\n\v\f\r";
  const auto begin = text.find_first_not_of(kSpace);
  if (begin == std::string_view::npos) return {};
  const auto end = text.find_last_not_of(kSpace);
  return std::string(text.substr(begin, end - begin + 1));
}

}  // namespace base
