#include "vesk_ui/format.hpp"

#include <array>
#include <cmath>
#include <cstdio>

namespace vesk_ui::format {

std::string bytes(std::uint64_t n) {
  if (n < 1024) return std::to_string(n) + " B";
  static constexpr std::array<const char*, 6> kUnits = {"KB", "MB", "GB", "TB", "PB", "EB"};
  double v = static_cast<double>(n) / 1024.0;
  std::size_t unit = 0;
  for (;;) {
    // Round the way the text will, so 1023.96 KB is promoted to "1.0 MB".
    const double shown = v < 10 ? std::round(v * 10) / 10 : std::round(v);
    if (shown < 1024 || unit + 1 == kUnits.size()) break;
    v /= 1024.0;
    ++unit;
  }
  char buf[32];
  if (v < 9.95) {
    std::snprintf(buf, sizeof buf, "%.1f %s", v, kUnits[unit]);
  } else {
    std::snprintf(buf, sizeof buf, "%.0f %s", v, kUnits[unit]);
  }
  return buf;
}

}  // namespace vesk_ui::format
