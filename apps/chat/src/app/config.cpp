#include "app/config.hpp"

namespace chat {
namespace {

std::optional<std::string> non_empty(const Environment& env, std::string_view name) {
  auto v = env.var(name);
  if (v && !v->empty()) return v;
  return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> data_directory(const Environment& env) {
  // Taken as is: an explicitly chosen directory is the user's business, even
  // when it does not exist yet.
  if (auto v = env.var("VESK_CHAT_DATA")) return std::filesystem::path(*v);
  if (auto xdg = non_empty(env, "XDG_DATA_HOME")) return std::filesystem::path(*xdg) / "vesk-chat";
  if (auto home = non_empty(env, "HOME"))
    return std::filesystem::path(*home) / ".local/share" / "vesk-chat";
  return std::nullopt;
}

std::optional<std::filesystem::path> workspace_document_path(const Environment& env) {
  auto dir = data_directory(env);
  if (!dir) return std::nullopt;
  return *dir / kWorkspaceDocumentFile;
}

std::filesystem::path attachment_directory(const Environment& env) {
  if (auto v = env.var("VESK_CHAT_ATTACH_DIR")) return std::filesystem::path(*v);
  return kDefaultAttachmentDir;
}

bool networking_allowed(const Environment& env) {
  return env.var("DBUS_SESSION_BUS_ADDRESS").has_value() || env.var("WAYLAND_DISPLAY").has_value();
}

}  // namespace chat
