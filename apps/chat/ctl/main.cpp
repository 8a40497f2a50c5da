// vesk-chat-ctl: speaks the running chat's automation endpoint, so that
// scripts and agents act through the same resources and controls as the user.
// Exit status: 0 answered, 1 the chat refused the request, 2 usage, 3 no chat.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "vesk_actions/automation_client.hpp"
#include "vesk_actions/automation_endpoint.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
    std::fputs(vesk_actions::usage_text("vesk-chat-ctl").c_str(), stdout);
    return 0;
  }
  auto cmd = vesk_actions::parse_command_line(args);
  if (!cmd.ok()) {
    std::fprintf(stderr, "vesk-chat-ctl: %s\n%s", cmd.error().c_str(),
                 vesk_actions::usage_text("vesk-chat-ctl").c_str());
    return 2;
  }
  std::string path = cmd->socket_path;
  if (path.empty()) {
    auto fallback = vesk_actions::default_socket_path("vesk-chat");
    if (!fallback.ok()) {
      std::fprintf(stderr, "vesk-chat-ctl: %s; pass --socket PATH\n", fallback.error().c_str());
      return 3;
    }
    path = fallback.value();
  }
  auto fd = vesk_actions::connect_endpoint(path);
  if (!fd.ok()) {
    std::fprintf(stderr, "vesk-chat-ctl: %s\n", fd.error().c_str());
    return 3;
  }
  auto reply = vesk_actions::exchange(fd.value(), cmd->request, std::chrono::seconds(10));
  close(fd.value());
  if (!reply.ok()) {
    std::fprintf(stderr, "vesk-chat-ctl: %s\n", reply.error().c_str());
    return 3;
  }
  const auto& r = reply.value();
  if (r.value("ok", false)) {
    std::printf("%s\n",
                r["result"].dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return 0;
  }
  const auto error = r.value("error", nlohmann::json::object());
  std::fprintf(stderr, "vesk-chat-ctl: %s (%s)\n", error.value("message", "request failed").c_str(),
               error.value("code", "error").c_str());
  return 1;
}
