#include "app/environment.hpp"

#include <cstdlib>

namespace chat {

Environment Environment::process() {
  Environment env;
  env.var = [](std::string_view name) -> std::optional<std::string> {
    const char* v = std::getenv(std::string(name).c_str());
    if (!v) return std::nullopt;
    return std::string(v);
  };
  return env;
}

}  // namespace chat
