#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "vesk_ui/launch.hpp"

namespace {

using namespace vesk_ui::launch;

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

TEST(CommandLine, ValidCommands) {
  auto c = parse_command_line({});
  ASSERT_TRUE(c.ok());
  EXPECT_TRUE(std::holds_alternative<RunWindow>(*c));

  auto shot =
      parse_command_line(split("--shot narrow --output /tmp/a.png --size 640x480 --scale 2"));
  ASSERT_TRUE(shot.ok()) << shot.error();
  const auto& r = std::get<Shot>(*shot).request;
  EXPECT_EQ(r.name, "narrow");
  EXPECT_EQ(r.output, std::filesystem::path("/tmp/a.png"));
  EXPECT_EQ(r.size, (vesk_ui::Size{640, 480}));
  EXPECT_EQ(r.scale, 2);

  auto eq = parse_command_line(split("--shot=call --output=o.png --scale=1.5"));
  ASSERT_TRUE(eq.ok()) << eq.error();
  EXPECT_EQ(std::get<Shot>(*eq).request.name, "call");
  EXPECT_EQ(std::get<Shot>(*eq).request.scale, 1.5);
  EXPECT_FALSE(std::get<Shot>(*eq).request.size.has_value());

  // Without --output the request still reaches the renderer, which refuses it.
  auto no_out = parse_command_line(split("--shot x"));
  ASSERT_TRUE(no_out.ok());
  EXPECT_FALSE(std::get<Shot>(*no_out).request.output.has_value());

  EXPECT_TRUE(std::holds_alternative<Help>(*parse_command_line(split("--shot x --help"))));
  EXPECT_TRUE(std::holds_alternative<Version>(*parse_command_line(split("-V"))));
  EXPECT_TRUE(std::holds_alternative<ListShots>(*parse_command_line(split("--list-shots"))));
}

TEST(CommandLine, MistakesGetOneClearLine) {
  struct Case {
    const char* args;
    const char* error;
  };
  const Case cases[] = {
      {"--frobnicate", "unknown option '--frobnicate' (see --help)"},
      {"-x", "unknown option '-x' (see --help)"},
      {"narrow", "unexpected argument 'narrow' (see --help)"},
      {"--shot", "--shot needs a value (a scenario name; see --list-shots)"},
      {"--shot a --shot b", "--shot is given twice"},
      {"--output o.png", "--output is only used with --shot NAME"},
      {"--size 10x10", "--size is only used with --shot NAME"},
      {"--shot a --size 1280",
       "--size expects WIDTHxHEIGHT in pixels, such as 1280x800 (got '1280')"},
      {"--shot a --size 12x-4", "--size must be between 1x1 and 16384x16384 (got '12x-4')"},
      {"--shot a --size 12x4y",
       "--size expects WIDTHxHEIGHT in pixels, such as 1280x800 (got '12x4y')"},
      {"--shot a --size 0x10", "--size must be between 1x1 and 16384x16384 (got '0x10')"},
      {"--shot a --size 20000x10", "--size must be between 1x1 and 16384x16384 (got '20000x10')"},
      {"--shot a --scale 0", "--scale expects a number above 0 and at most 8, such as 2 (got '0')"},
      {"--shot a --scale nan",
       "--scale expects a number above 0 and at most 8, such as 2 (got 'nan')"},
      {"--shot a --scale 2x",
       "--scale expects a number above 0 and at most 8, such as 2 (got '2x')"},
      {"--shot a --list-shots", "--list-shots and --shot cannot be combined"},
      {"--help=yes", "--help takes no value"},
  };
  for (const auto& c : cases) {
    auto r = parse_command_line(split(c.args));
    ASSERT_FALSE(r.ok()) << c.args;
    EXPECT_EQ(r.error(), c.error) << c.args;
  }
}

struct Run {
  int code;
  std::string out, err;
  int windows;
  std::vector<ShotRequest> shots;
};

Run run(LaunchDescription desc, const std::string& args) {
  Run r{0, "", "", 0, {}};
  auto* shots = &r.shots;
  if (!desc.hooks.shot_renderer) {
    desc.hooks.shot_renderer = [shots](const ShotRequest& req) -> base::Status {
      shots->push_back(req);
      if (!req.output) return base::make_error("missing screenshot output");
      return {};
    };
  }
  std::ostringstream out, err;
  auto a = split(args);
  r.code = dispatch(desc, "prog", a, out, err, [&] {
    ++r.windows;
    return 0;
  });
  r.out = out.str();
  r.err = err.str();
  return r;
}

TEST(CommandLine, DispatchRunsTheRightCommandWithItsExitCode) {
  LaunchDescription d;
  d.app_id = "org.example1";
  d.shot_names = {"one", "two"};

  auto list = run(d, "--list-shots");
  EXPECT_EQ(list.code, 0);
  EXPECT_EQ(list.out, "one\ntwo\n");

  auto help = run(d, "--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("--shot NAME --output PATH"), std::string::npos);
  EXPECT_EQ(help.windows, 0);

  auto version = run(d, "--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out.rfind("prog (org.example1) vesk_ui ", 0), 0u);

  auto bad = run(d, "--nope");
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.err, "prog: unknown option '--nope' (see --help)\n");
  EXPECT_EQ(bad.windows, 0);

  auto shot = run(d, "--shot two --output x.png");
  EXPECT_EQ(shot.code, 0);
  ASSERT_EQ(shot.shots.size(), 1u);
  EXPECT_EQ(shot.shots[0].name, "two");
  EXPECT_EQ(shot.windows, 0);

  auto failed = run(d, "--shot two");
  EXPECT_EQ(failed.code, 1);
  EXPECT_EQ(failed.err, "prog: missing screenshot output\n");

  auto window = run(d, "");
  EXPECT_EQ(window.code, 0);
  EXPECT_EQ(window.windows, 1);
}

TEST(CommandLine, HookFailuresBecomeExitCodesNotCrashes) {
  LaunchDescription d;
  d.hooks.protocol_version = [] { return 2; };
  auto r = run(d, "--shot a --output b");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("widget protocol 2"), std::string::npos);
  EXPECT_TRUE(r.shots.empty());

  LaunchDescription throwing;
  throwing.hooks.shot_renderer = [](const ShotRequest&) -> base::Status {
    throw std::runtime_error("boom");
  };
  auto t = run(throwing, "--shot a --output b");
  EXPECT_EQ(t.code, 1);
  EXPECT_EQ(t.err, "prog: internal error: boom\n");

  LaunchDescription none;
  none.hooks.shot_renderer = nullptr;
  std::ostringstream out, err;
  std::vector<std::string> a = {"--shot", "x", "--output", "y"};
  EXPECT_EQ(dispatch(none, "p", a, out, err, [] { return 0; }), 1);
  EXPECT_EQ(err.str(), "p: this program has no screenshot renderer\n");
}

}  // namespace
