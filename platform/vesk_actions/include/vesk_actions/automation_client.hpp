#pragma once
// The client side of the automation protocol, shared by command-line tools
// such as vesk-chat-ctl and by tests.

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/result.hpp"

namespace vesk_actions {

base::Result<int> connect_endpoint(const std::string& path);

// Writes one request line and reads one reply line. Fails on a closed stream,
// a timeout or a reply that is not a JSON object.
base::Result<nlohmann::json> exchange(int fd, const nlohmann::json& request,
                                      std::chrono::milliseconds timeout);

struct CommandLine {
  std::string socket_path;  // empty: the default path
  nlohmann::json request;
};

// Turns command-line words into a request:
//   ping | list [DEPTH] | resolve ADDRESS | invoke ADDRESS ACTION [VALUE] [--confirm]
//   | control NAME [--focus | --text TEXT] | search WORDS... [--cursor C] [--limit N]
//   | tree | raw JSON; "--socket PATH" may come first.
base::Result<CommandLine> parse_command_line(const std::vector<std::string>& args);

std::string usage_text(const std::string& program);

}  // namespace vesk_actions
