#include "vesk_ui/avatar.hpp"

#include <glib.h>

namespace vesk_ui {

std::string Avatar::initials_for_name(std::string_view name) {
  std::string out;
  int found = 0;
  bool in_word = false;
  bool word_done = false;  // this word already gave its letter (or we moved past it)
  const char* p = name.data();
  const char* end = name.data() + name.size();
  while (p < end && found < 2) {
    gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      ++p;  // a broken byte: skip it, never copy it out
      continue;
    }
    p = g_utf8_next_char(p);
    if (g_unichar_isspace(c)) {
      in_word = false;
      continue;
    }
    if (!in_word) {
      in_word = true;
      word_done = false;
    }
    if (word_done || !g_unichar_isalpha(c)) continue;
    char buf[6];
    int n = g_unichar_to_utf8(g_unichar_toupper(c), buf);
    out.append(buf, static_cast<std::size_t>(n));
    word_done = true;
    ++found;
  }
  return out;
}

}  // namespace vesk_ui
