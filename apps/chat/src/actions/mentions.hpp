#pragma once
// Finding the people a message mentions: "@" followed by a person's name.

#include <string_view>
#include <vector>

#include "model/records.hpp"

namespace chat {

// Mentions in `text`, in text order, with UTF-8 byte offsets. People without a
// name or id are never mentioned. Longer names win
// over their prefixes; letter case is ignored where lower-casing keeps the
// text's byte length. Never fails.
std::vector<Mention> find_mentions(std::string_view text, const std::vector<Person>& people);

// True for ASCII letters and digits and for every Unicode letter or number.
bool is_alphanumeric(char32_t c);

}  // namespace chat
