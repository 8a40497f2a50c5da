#pragma once
// The system clipboard as text. Goes through SDL while a window is open, so
// copy and paste work with other programs; without a display (screenshots,
// tests) a process-local clipboard stands in, so editing behaves the same.

#include <string>
#include <string_view>

namespace vesk_ui::clipboard {

void set_text(std::string_view text);
// The clipboard's text, or the empty text when it holds none.
std::string get_text();

}  // namespace vesk_ui::clipboard
