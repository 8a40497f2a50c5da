#include <cstdio>

#include "app/config.hpp"
#include "app/local_identity.hpp"

int main() {
  const auto env = chat::Environment::process();
  const auto dir = chat::data_directory(env);
  const auto me = chat::load_local_identity(env);
  std::printf("vesk-chat %s\n", VESK_CHAT_VERSION);
  std::printf("data directory: %s\n", dir ? dir->c_str() : "(none)");
  std::printf("local identity: %s \"%s\" (%s, colour %lld)\n", me.user_id.c_str(),
              me.display_name.c_str(), me.initials.c_str(), static_cast<long long>(me.color_idx));
  return 0;
}
