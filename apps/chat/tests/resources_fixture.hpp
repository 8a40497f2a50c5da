#pragma once
// A small chat shared by the action tests: two workspaces, text, voice,
// blank-named and archived channels, a collapsed category, an agent, messages
// with reactions, an attachment, a reply and an unknown author, and a call.

#include <string>

#include "actions/resources.hpp"

namespace chat::testing {

inline constexpr std::int64_t kNow = 1700000000;

inline ChatSnapshot fixture_chat() {
  ChatSnapshot s;
  s.workspace_list = {{"ws_1", "  Acme  ", "A", 0, 0}, {"ws_2", "   ", "B", 1, 1}};
  s.category_list = {{"cat_eng", "ws_1", "Engineering", 1, false},
                     {"cat_soc", "ws_1", "Social", 0, true}};
  s.channel_list = {
      {"c_gen", "ws_1", "cat_eng", "general", "daily talk", ChannelKind::Text, 0, 0, false},
      {"c_voice", "ws_1", "cat_soc", "lounge", "", ChannelKind::Voice, 1, 0, false},
      {"c_blank", "ws_1", "", "   ", "", ChannelKind::Text, 2, 0, true},
      {"c_other", "ws_2", "", "random", "", ChannelKind::Text, 0, 0, false},
  };
  s.person_list = {{"u_ann", "Ann", "A", 1, PersonStatus::Online, false},
                   {"u_bot", "Helper", "H", 2, PersonStatus::Online, true},
                   {"u_me", "Me", "M", 3, PersonStatus::Online, false}};
  Message m1;
  m1.id = "m_1";
  m1.channel = "c_gen";
  m1.author = "u_ann";
  m1.ts = kNow - 100;
  m1.text = "  hello world  ";
  m1.reactions = {{"👍", {"u_ann", "u_me"}}, {"🎉", {"u_ann"}}};
  Message m2;
  m2.id = "m_2";
  m2.channel = "c_gen";
  m2.author = "u_me";
  m2.attachment = Attachment(Attachment::Image{"photo.png", std::string(64, 'a'), 640, 480});
  m2.pinned = true;
  Message m3;
  m3.id = "m_3";
  m3.channel = "c_gen";
  m3.author = "u_ghost";
  Message m4;
  m4.id = "m_4";
  m4.channel = "c_gen";
  m4.author = "u_bot";
  m4.text = "thread reply";
  m4.parent = "m_1";
  s.messages_by_channel["c_gen"] = {m1, m2, m3, m4};
  VoiceParticipant me;
  me.user = "u_me";
  me.deafened = true;
  s.participants_by_channel["c_voice"] = {me};
  return s;
}

// Counts up, so that generated ids are predictable.
inline std::function<std::string()> counting_uuid() {
  auto n = std::make_shared<int>(0);
  return [n] {
    std::string hex = std::to_string(++*n);
    return std::string(32 - hex.size(), '0') + hex;
  };
}

}  // namespace chat::testing
