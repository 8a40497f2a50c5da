#include "vesk_ui/clipboard.hpp"

#include <SDL.h>

#include <mutex>

namespace vesk_ui::clipboard {
namespace {

std::mutex& local_mutex() {
  static std::mutex m;
  return m;
}
std::string& local_text() {
  static std::string s;
  return s;
}

bool system_available() {
  return SDL_WasInit(SDL_INIT_VIDEO) != 0;
}

}  // namespace

void set_text(std::string_view text) {
  std::string owned(text);
  if (system_available() && SDL_SetClipboardText(owned.c_str()) == 0) return;
  std::lock_guard lock(local_mutex());
  local_text() = std::move(owned);
}

std::string get_text() {
  if (system_available()) {
    char* raw = SDL_GetClipboardText();
    std::string out = raw != nullptr ? raw : "";
    SDL_free(raw);
    return out;
  }
  std::lock_guard lock(local_mutex());
  return local_text();
}

}  // namespace vesk_ui::clipboard
