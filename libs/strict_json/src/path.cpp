#include "strict_json/path.hpp"

#include <string>

#include "strict_json/parse.hpp"

namespace strict_json {

std::string Path::str() const {
  std::string s = up_ ? up_->str() : std::string();
  if (index_ != kNoIndex) {
    s += "[" + std::to_string(index_) + "]";
  } else {
    if (!s.empty()) s += '.';
    // Member names may come from the input; keep them printable.
    s += printable(name_, 64);
  }
  return s;
}

base::Error Path::error(std::string_view message) const {
  std::string where = str();
  if (where.empty()) return base::make_error(std::string(message));
  return base::make_error(where + ": " + std::string(message));
}

}  // namespace strict_json
