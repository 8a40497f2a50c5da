// Feeds arbitrary bytes to the action and operation decoders. Whatever decodes
// must encode and decode again to the same value and the same text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "actions/chat_action_format.hpp"

namespace {

template <typename Decode, typename Encode>
void check(std::string_view input, Decode decode, Encode encode) {
  auto decoded = decode(input);
  if (!decoded.ok()) {
    // Errors are shown to users and logged: they must stay short.
    if (decoded.error().size() > 4096) std::abort();
    return;
  }
  std::string json = encode(*decoded);
  auto again = decode(json);
  if (!again.ok() || !(*again == *decoded) || encode(*again) != json) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  check(input, chat::decode_chat_action, chat::encode_chat_action);
  check(input, chat::decode_chat_operation, chat::encode_chat_operation);
  return 0;
}
