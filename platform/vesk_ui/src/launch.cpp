#include "vesk_ui/launch.hpp"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>

#include "vesk_ui/theme.hpp"
#include "window.hpp"

namespace vesk_ui::launch {

namespace {

std::string base_name(std::string_view path) {
  auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

[[noreturn]] void run_and_exit(const LaunchDescription& desc, std::vector<std::string> argv) {
  std::string program = argv.empty() ? desc.app_id : base_name(argv.front());
  if (program.empty()) program = "vesk_ui";
  std::vector<std::string> args(argv.empty() ? argv.end() : argv.begin() + 1, argv.end());
  int code = dispatch(desc, program, args, std::cout, std::cerr,
                      [&] { return detail::run_window(desc, program, std::cerr); });
  std::cout.flush();
  std::exit(code);
}

}  // namespace

void run_or_exit(LaunchDescription desc, int argc, char** argv) {
  std::vector<std::string> all;
  for (int i = 0; i < argc; ++i) all.emplace_back(argv[i] ? argv[i] : "");
  run_and_exit(desc, std::move(all));
}

void run_or_exit(LaunchDescription desc) {
  // The process's own arguments, NUL-separated, as the kernel keeps them.
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> all;
  std::size_t start = 0;
  while (start < raw.size()) {
    auto end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    all.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  run_and_exit(desc, std::move(all));
}

Theme shot_theme() {
  Theme t = Theme::dark();
  t.ui_scale = 1;
  t.reduced_motion = true;
  return t;
}

}  // namespace vesk_ui::launch
