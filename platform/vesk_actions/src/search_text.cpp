#include <glib.h>

#include "vesk_actions/search_catalog.hpp"

namespace vesk_actions {
namespace {

void append_utf8(std::string& out, gunichar c) {
  char buf[8];
  const int n = g_unichar_to_utf8(c, buf);
  out.append(buf, static_cast<std::size_t>(n));
}

void append_space(std::string& out) {
  if (!out.empty() && out.back() != ' ') out.push_back(' ');
}

}  // namespace

std::string normalize_search_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (byte >= 'A' && byte <= 'Z') {
        out.push_back(static_cast<char>(byte + ('a' - 'A')));
      } else if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')) {
        out.push_back(static_cast<char>(byte));
      } else {
        append_space(out);
      }
      ++i;
      continue;
    }
    const gunichar c =
        g_utf8_get_char_validated(text.data() + i, static_cast<gssize>(text.size() - i));
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      // Invalid bytes separate words; they never end up in the index.
      append_space(out);
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(g_utf8_skip[byte]);
    gunichar parts[G_UNICHAR_MAX_DECOMPOSITION_LENGTH];
    const gsize n = g_unichar_fully_decompose(c, FALSE, parts, G_UNICHAR_MAX_DECOMPOSITION_LENGTH);
    for (gsize k = 0; k < n; ++k) {
      if (g_unichar_ismark(parts[k])) continue;
      const gunichar lower = g_unichar_tolower(parts[k]);
      if (g_unichar_isalnum(lower)) {
        append_utf8(out, lower);
      } else {
        append_space(out);
      }
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::vector<std::string> index_tokens(std::string_view normalized) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < normalized.size()) {
    auto end = normalized.find(' ', start);
    if (end == std::string_view::npos) end = normalized.size();
    if (end > start) {
      std::size_t len = std::min(end - start, kMaxTokenBytes);
      // Never cut a character in half.
      while (len > 0 && start + len < end &&
             (static_cast<unsigned char>(normalized[start + len]) & 0xC0) == 0x80) {
        --len;
      }
      out.emplace_back(normalized.substr(start, len));
    }
    start = end + 1;
  }
  return out;
}

std::vector<std::string> index_grams(std::string_view token) {
  std::string padded;
  padded.reserve(token.size() + 2);
  padded.push_back('\x01');
  padded.append(token);
  padded.push_back('\x01');
  std::vector<std::string> out;
  for (std::size_t i = 0; i + 3 <= padded.size(); ++i) out.push_back(padded.substr(i, 3));
  return out;
}

}  // namespace vesk_actions
