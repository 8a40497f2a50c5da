#include <cstdio>

int main() {
  std::printf("vesk-chat %s\n", VESK_CHAT_VERSION);
  return 0;
}
