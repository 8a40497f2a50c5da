#pragma once
// Short human texts for quantities shown in the interface.

#include <cstdint>
#include <string>

namespace vesk_ui::format {

// A byte count in binary units: "0 B", "512 B", "1.5 KB", "12 KB", "3.4 MB",
// "1.0 GB". One decimal below 10 units, none from 10 up; a value that rounds
// up to 1024 of a unit is shown in the next one ("1.0 MB", never "1024 KB").
std::string bytes(std::uint64_t n);

}  // namespace vesk_ui::format
