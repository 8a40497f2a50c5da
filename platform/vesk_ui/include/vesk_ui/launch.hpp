#pragma once
// Launch: the application hands one description to run_or_exit, which owns
// the process from then on. Command line:
//   (none)                              open the window
//   --shot NAME --output PATH [--size WxH] [--scale S]
//                                       render one scenario headless and exit
//   --list-shots                        print the scenario names, one a line
//   --help, --version
// Exit codes: 0 success, 1 failure (a shot that failed, no display), 2 bad
// command line.

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/result.hpp"
#include "vesk_ui/geometry.hpp"
#include "vesk_ui/persist.hpp"

namespace vesk_ui {

class App;
class Widget;
struct Theme;

namespace launch {

struct ShotRequest {
  std::string name;                             // empty when none was given
  std::optional<std::filesystem::path> output;  // the renderer fails without one
  std::optional<Size> size;                     // logical pixels; renderer's default when absent
  double scale = 1;                             // device pixels per logical pixel
};

struct Hooks {
  // Builds the live root widget for the window.
  std::function<std::unique_ptr<Widget>()> app_factory;
  // Renders one scenario to request.output; answers a failure text otherwise.
  std::function<base::Status(const ShotRequest&)> shot_renderer;
  // Registers the application's action kinds with the host.
  std::function<void(App&)> register_actions;
  // The window's initial size in logical pixels (default 1024 x 768).
  std::function<Size()> default_window_size;
  // The widget protocol revision the application was written for; this
  // framework speaks revision 1 and refuses others with a clear message.
  std::function<int()> protocol_version;
  // Opens the document lent to the widget; called once before the first
  // frame with the application id and the framework's options.
  std::function<persist::DocumentResult(std::string_view app_id,
                                        const persist::OpenOptions& options)>
      open_document;
  // The window title (default: the application id).
  std::function<std::string()> window_title;
};

struct LaunchDescription {
  std::string app_id;  // reverse-domain identifier
  // Font files to make available beside the pinned ones.
  std::vector<std::filesystem::path> extra_fonts;
  // Declared for the host and passed on unchanged through App.
  std::vector<std::string> permissions;
  std::vector<std::string> url_schemes;
  std::vector<std::string> mime_types;
  std::vector<std::string> shot_names;
  Hooks hooks;
  bool fullscreen = false;
  bool borderless = false;
  bool resizable = true;
  bool high_dpi = true;
};

inline constexpr int kProtocolVersion = 1;

// The parsed command line.
struct RunWindow {};
struct Shot {
  ShotRequest request;
};
struct ListShots {};
struct Help {};
struct Version {};
using Command = std::variant<RunWindow, Shot, ListShots, Help, Version>;

// args excludes the program name. Errors are one line a user can act on.
base::Result<Command> parse_command_line(std::span<const std::string> args);

// The usage text printed by --help.
std::string usage(std::string_view program, const LaunchDescription& desc);

// Runs everything but the window (which needs a display) and answers the exit
// code; `run_window` is called for RunWindow. Kept apart for tests.
int dispatch(const LaunchDescription& desc, std::string_view program,
             std::span<const std::string> args, std::ostream& out, std::ostream& err,
             const std::function<int()>& run_window);

// Takes the process's command line from /proc/self/cmdline.
[[noreturn]] void run_or_exit(LaunchDescription desc);
[[noreturn]] void run_or_exit(LaunchDescription desc, int argc, char** argv);

// The theme every screenshot uses: the dark theme at UI scale 1 with reduced
// motion, so transitions are drawn settled and shots are reproducible.
Theme shot_theme();

}  // namespace launch
}  // namespace vesk_ui
