#pragma once
// Where in a record a decoding error happened, built on the stack as the
// decoder descends and spelled out only when something fails.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/result.hpp"

namespace strict_json {

class Path {
 public:
  explicit Path(std::string_view root) : name_(root) {}

  Path member(std::string_view name) const { return Path(this, name, kNoIndex); }
  Path element(std::size_t index) const { return Path(this, {}, index); }

  // For example "ChatAction.SendMessage.mentions[2].user".
  std::string str() const;
  // "<path>: <message>".
  base::Error error(std::string_view message) const;

 private:
  static constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);
  Path(const Path* up, std::string_view name, std::size_t index)
      : up_(up), name_(name), index_(index) {}

  const Path* up_ = nullptr;
  std::string_view name_;
  std::size_t index_ = kNoIndex;
};

}  // namespace strict_json
