#pragma once
// Avatar: a person's round badge. The drawing half comes with the widgets;
// the initials rule is pure so that identity code can use it without a window.

#include <string>
#include <string_view>

namespace vesk_ui {

class Avatar {
 public:
  // Up to two initials: the first letter of each of the first two words of
  // `name` that contain a letter, upper-cased (Unicode-aware, so "émile
  // zola" gives "ÉZ"). Words are separated by white space. Answers the empty
  // text when the name holds no letter at all; invalid UTF-8 is read
  // leniently (broken bytes are skipped, never copied out).
  static std::string initials_for_name(std::string_view name);
};

}  // namespace vesk_ui
