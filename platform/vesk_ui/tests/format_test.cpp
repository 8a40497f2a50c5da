#include "vesk_ui/format.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(Format, Bytes) {
  const std::pair<std::uint64_t, const char*> cases[] = {
      {0, "0 B"},
      {1, "1 B"},
      {1023, "1023 B"},
      {1024, "1.0 KB"},
      {1536, "1.5 KB"},
      {10 * 1024 - 52, "9.9 KB"},
      {10 * 1024 - 40, "10 KB"},  // 9.96 KB shows as 10, not "10.0"
      {123 * 1024, "123 KB"},
      {1024 * 1024 - 1, "1.0 MB"},  // never "1024 KB"
      {5 * 1024 * 1024 + 400 * 1024, "5.4 MB"},
      {1024ull * 1024 * 1024, "1.0 GB"},
      {3ull << 40, "3.0 TB"},
      {std::numeric_limits<std::uint64_t>::max(), "16 EB"},
  };
  for (const auto& [n, want] : cases) EXPECT_EQ(vesk_ui::format::bytes(n), want) << n;
}

}  // namespace
