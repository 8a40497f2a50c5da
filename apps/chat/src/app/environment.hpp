#pragma once
// Where the chat reads its configuration: environment variables and a few
// files. Passed explicitly so that tests can describe a machine without
// touching the process environment.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace chat {

struct Environment {
  // A variable's value when it is set (possibly empty), nothing when unset.
  std::function<std::optional<std::string>(std::string_view)> var;
  // Where the host name is read when HOSTNAME is unset or empty.
  std::filesystem::path hostname_file = "/etc/hostname";

  // The running process's environment.
  static Environment process();
};

}  // namespace chat
