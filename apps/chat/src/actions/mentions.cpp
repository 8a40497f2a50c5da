#include "actions/mentions.hpp"

#include <glib.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

namespace chat {
namespace {

struct GFreeDeleter {
  void operator()(gchar* p) const { g_free(p); }
};

// Full Unicode lower-casing; ill-formed text is left as it is.
std::string lower(std::string_view text) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    return std::string(text);
  }
  std::unique_ptr<gchar, GFreeDeleter> down(
      g_utf8_strdown(text.data(), static_cast<gssize>(text.size())));
  return down ? std::string(down.get()) : std::string(text);
}

// The character starting at `pos`, or nothing when the bytes there are not
// well-formed UTF-8.
std::optional<char32_t> char_at(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return std::nullopt;
  gunichar c = g_utf8_get_char_validated(text.data() + pos, static_cast<gssize>(text.size() - pos));
  if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return std::nullopt;
  return static_cast<char32_t>(c);
}

// The character that ends just before `pos`.
std::optional<char32_t> char_before(std::string_view text, std::size_t pos) {
  std::size_t start = pos;
  // Step back over at most three continuation bytes to the lead byte.
  do {
    if (start == 0) return std::nullopt;
    --start;
  } while (pos - start < 4 && (static_cast<unsigned char>(text[start]) & 0xc0) == 0x80);
  auto c = char_at(text, start);
  if (!c) return std::nullopt;
  // Only accept it if it really ends at `pos`.
  if (start + static_cast<std::size_t>(g_unichar_to_utf8(*c, nullptr)) != pos) return std::nullopt;
  return c;
}

bool alnum_at(std::optional<char32_t> c) {
  return c && is_alphanumeric(*c);
}

struct Candidate {
  const Person* person;
  std::string name;  // lower-cased
};

}  // namespace

bool is_alphanumeric(char32_t c) {
  if (c < 0x80) return g_ascii_isalnum(static_cast<gchar>(c));
  switch (g_unichar_type(static_cast<gunichar>(c))) {
    case G_UNICODE_UPPERCASE_LETTER:
    case G_UNICODE_LOWERCASE_LETTER:
    case G_UNICODE_TITLECASE_LETTER:
    case G_UNICODE_MODIFIER_LETTER:
    case G_UNICODE_OTHER_LETTER:
    case G_UNICODE_DECIMAL_NUMBER:
    case G_UNICODE_LETTER_NUMBER:
    case G_UNICODE_OTHER_NUMBER:
      return true;
    default:
      return false;
  }
}

std::vector<Mention> find_mentions(std::string_view text, const std::vector<Person>& people) {
  std::vector<Candidate> candidates;
  for (const Person& person : people) {
    if (!person.name.empty() && !person.id.empty())
      candidates.push_back(Candidate{&person, lower(person.name)});
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) {
                     return a.person->name.size() > b.person->name.size();
                   });

  // Offsets must stay those of the original text, so a lower-cased copy is
  // only usable when it has the same length.
  std::string lowered = lower(text);
  std::string_view hay = lowered.size() == text.size() ? std::string_view(lowered) : text;

  std::vector<Mention> mentions;
  std::size_t pos = 0;
  while ((pos = hay.find('@', pos)) != std::string_view::npos) {
    if (pos > 0 && alnum_at(char_before(hay, pos))) {
      ++pos;
      continue;
    }
    std::size_t after_at = pos + 1;
    const Candidate* found = nullptr;
    for (const Candidate& c : candidates) {
      if (hay.substr(after_at).starts_with(c.name) &&
          !alnum_at(char_at(hay, after_at + c.name.size()))) {
        found = &c;
        break;
      }
    }
    if (!found) {
      pos = after_at;
      continue;
    }
    mentions.push_back(
        Mention{found->person->id, pos, 1 + found->name.size(), found->person->agent});
    pos = after_at + found->name.size();
  }
  return mentions;
}

}  // namespace chat
