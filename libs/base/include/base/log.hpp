#pragma once
// A small leveled logger to standard error. The level comes from VESK_LOG
// (off, error, warn, info, debug); the default is warn, tests run with off.

#include <fmt/format.h>
#include <string_view>

namespace base::log {

enum class Level { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4 };

Level level();
void set_level(Level level);
bool enabled(Level level);
void write(Level level, std::string_view where, std::string_view message);

template <typename... Args>
void error(std::string_view where, fmt::format_string<Args...> fmt, Args&&... args) {
  if (enabled(Level::Error)) write(Level::Error, where, fmt::format(fmt, std::forward<Args>(args)...));
}
template <typename... Args>
void warn(std::string_view where, fmt::format_string<Args...> fmt, Args&&... args) {
  if (enabled(Level::Warn)) write(Level::Warn, where, fmt::format(fmt, std::forward<Args>(args)...));
}
template <typename... Args>
void info(std::string_view where, fmt::format_string<Args...> fmt, Args&&... args) {
  if (enabled(Level::Info)) write(Level::Info, where, fmt::format(fmt, std::forward<Args>(args)...));
}
template <typename... Args>
void debug(std::string_view where, fmt::format_string<Args...> fmt, Args&&... args) {
  if (enabled(Level::Debug)) write(Level::Debug, where, fmt::format(fmt, std::forward<Args>(args)...));
}

}  // namespace base::log
