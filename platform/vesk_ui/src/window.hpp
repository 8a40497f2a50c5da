#pragma once

#include <ostream>
#include <string_view>

#include "vesk_ui/launch.hpp"

namespace vesk_ui::detail {

// Opens the window and runs the frame loop until it closes; answers the exit
// code. Failures (no display, no application) are one line on `err`.
int run_window(const launch::LaunchDescription& desc, std::string_view program, std::ostream& err);

}  // namespace vesk_ui::detail
