// The launch command line: parsing, usage and the dispatch of every command
// that needs no window.

#include <charconv>
#include <cmath>
#include <exception>
#include <ostream>
#include <string>

#include "vesk_ui/launch.hpp"

#ifndef VESK_UI_VERSION
#define VESK_UI_VERSION "0"
#endif

namespace vesk_ui::launch {

namespace {

constexpr double kMaxScale = 8;
constexpr long kMaxSide = 16384;

base::Result<Size> parse_size(std::string_view v) {
  auto x = v.find_first_of("xX");
  auto fail = [&] {
    return base::make_error("--size expects WIDTHxHEIGHT in pixels, such as 1280x800 (got '" +
                            std::string(v) + "')");
  };
  if (x == std::string_view::npos) return fail();
  long w = 0, h = 0;
  auto a = v.substr(0, x), b = v.substr(x + 1);
  auto ra = std::from_chars(a.data(), a.data() + a.size(), w);
  auto rb = std::from_chars(b.data(), b.data() + b.size(), h);
  if (a.empty() || b.empty() || ra.ec != std::errc() || rb.ec != std::errc() ||
      ra.ptr != a.data() + a.size() || rb.ptr != b.data() + b.size()) {
    return fail();
  }
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) {
    return base::make_error("--size must be between 1x1 and 16384x16384 (got '" + std::string(v) +
                            "')");
  }
  return Size{static_cast<double>(w), static_cast<double>(h)};
}

base::Result<double> parse_scale(std::string_view v) {
  double s = 0;
  auto r = std::from_chars(v.data(), v.data() + v.size(), s);
  if (v.empty() || r.ec != std::errc() || r.ptr != v.data() + v.size() || !std::isfinite(s) ||
      s <= 0 || s > kMaxScale) {
    return base::make_error("--scale expects a number above 0 and at most 8, such as 2 (got '" +
                            std::string(v) + "')");
  }
  return s;
}

}  // namespace

base::Result<Command> parse_command_line(std::span<const std::string> args) {
  bool help = false, version = false, list = false;
  std::optional<std::string> shot;
  std::optional<std::string> output, size, scale;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::string_view name = arg;
    std::optional<std::string> inline_value;
    if (auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      inline_value = std::string(arg.substr(eq + 1));
    }
    auto take = [&](std::optional<std::string>& slot, const char* what) -> base::Status {
      if (slot) return base::make_error(std::string(name) + " is given twice");
      if (inline_value) {
        slot = *inline_value;
      } else if (i + 1 < args.size()) {
        slot = args[++i];
      } else {
        return base::make_error(std::string(name) + " needs a value (" + what + ")");
      }
      return {};
    };
    if (name == "--help" || name == "-h") {
      help = true;
    } else if (name == "--version" || name == "-V") {
      version = true;
    } else if (name == "--list-shots") {
      list = true;
    } else if (name == "--shot") {
      VESK_TRY_STATUS(take(shot, "a scenario name; see --list-shots"));
    } else if (name == "--output") {
      VESK_TRY_STATUS(take(output, "the PNG file to write"));
    } else if (name == "--size") {
      VESK_TRY_STATUS(take(size, "WIDTHxHEIGHT, such as 1280x800"));
    } else if (name == "--scale") {
      VESK_TRY_STATUS(take(scale, "a scale factor, such as 2"));
    } else if (arg.starts_with("-")) {
      return base::make_error("unknown option '" + std::string(arg) + "' (see --help)");
    } else {
      return base::make_error("unexpected argument '" + std::string(arg) + "' (see --help)");
    }
    if ((name == "--help" || name == "--version" || name == "--list-shots") && inline_value) {
      return base::make_error(std::string(name) + " takes no value");
    }
  }
  if (help) return Command{Help{}};
  if (version) return Command{Version{}};
  if (list) {
    if (shot) return base::make_error("--list-shots and --shot cannot be combined");
    return Command{ListShots{}};
  }
  if (!shot) {
    for (const auto* opt : {&output, &size, &scale}) {
      if (*opt) {
        const char* n = opt == &output ? "--output" : opt == &size ? "--size" : "--scale";
        return base::make_error(std::string(n) + " is only used with --shot NAME");
      }
    }
    return Command{RunWindow{}};
  }
  Shot s;
  s.request.name = *shot;
  if (output) {
    if (output->empty()) return base::make_error("--output needs a file path");
    s.request.output = std::filesystem::path(*output);
  }
  if (size) s.request.size = VESK_TRY(parse_size(*size));
  if (scale) s.request.scale = VESK_TRY(parse_scale(*scale));
  return Command{std::move(s)};
}

std::string usage(std::string_view program, const LaunchDescription& desc) {
  std::string p(program);
  std::string u = "Usage:\n";
  u += "  " + p + "                 open the window\n";
  u += "  " + p + " --shot NAME --output PATH [--size WxH] [--scale S]\n";
  u += "      render one screenshot scenario to a PNG file without a window\n";
  u += "  " + p + " --list-shots    print the screenshot scenario names\n";
  u += "  " + p + " --help          print this help\n";
  u += "  " + p + " --version       print the version\n";
  u += "\nOptions:\n";
  u += "  --size WxH   frame size in logical pixels (default: the scenario's own)\n";
  u += "  --scale S    device pixels per logical pixel, above 0 and at most 8 (default 1)\n";
  if (!desc.app_id.empty()) u += "\nApplication: " + desc.app_id + "\n";
  return u;
}

int dispatch(const LaunchDescription& desc, std::string_view program,
             std::span<const std::string> args, std::ostream& out, std::ostream& err,
             const std::function<int()>& run_window) {
  auto parsed = parse_command_line(args);
  if (!parsed.ok()) {
    err << program << ": " << parsed.error() << "\n";
    return 2;
  }
  const Command& cmd = *parsed;
  if (std::holds_alternative<Help>(cmd)) {
    out << usage(program, desc);
    return 0;
  }
  if (std::holds_alternative<Version>(cmd)) {
    out << program << " (" << (desc.app_id.empty() ? "unnamed" : desc.app_id) << ") vesk_ui "
        << VESK_UI_VERSION << "\n";
    return 0;
  }
  if (std::holds_alternative<ListShots>(cmd)) {
    for (const auto& n : desc.shot_names) out << n << "\n";
    return 0;
  }
  try {
    if (desc.hooks.protocol_version) {
      int v = desc.hooks.protocol_version();
      if (v != kProtocolVersion) {
        err << program << ": the application was written for widget protocol " << v
            << ", but this vesk_ui speaks protocol " << kProtocolVersion << "\n";
        return 1;
      }
    }
    if (const auto* shot = std::get_if<Shot>(&cmd)) {
      if (!desc.hooks.shot_renderer) {
        err << program << ": this program has no screenshot renderer\n";
        return 1;
      }
      auto st = desc.hooks.shot_renderer(shot->request);
      if (!st.ok()) {
        err << program << ": " << st.error() << "\n";
        return 1;
      }
      return 0;
    }
    return run_window();
  } catch (const std::exception& e) {
    err << program << ": internal error: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace vesk_ui::launch
