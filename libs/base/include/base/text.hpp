#pragma once
// Small helpers on byte strings.

#include <string>
#include <string_view>

namespace base {

// `text` without the ASCII white space (space, \t, \n, \v, \f, \r) at either
// end. Other bytes, UTF-8 included, are left as they are.
std::string trim(std::string_view text);

}  // namespace base
