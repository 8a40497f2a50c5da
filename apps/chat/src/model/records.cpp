#include "model/records.hpp"

#include <algorithm>
#include <tuple>

namespace chat {

std::string_view person_status_text(PersonStatus status) {
  switch (status) {
    case PersonStatus::Online:
      return "online";
    case PersonStatus::Idle:
      return "idle";
    case PersonStatus::Dnd:
      return "dnd";
    case PersonStatus::Offline:
      return "offline";
  }
  return "online";
}

PersonStatus person_status_from_text(std::string_view text) {
  if (text == "idle") return PersonStatus::Idle;
  if (text == "dnd") return PersonStatus::Dnd;
  if (text == "offline") return PersonStatus::Offline;
  return PersonStatus::Online;
}

std::string_view channel_kind_text(ChannelKind kind) {
  return kind == ChannelKind::Voice ? "voice" : "text";
}

ChannelKind channel_kind_from_text(std::string_view text) {
  return text == "voice" ? ChannelKind::Voice : ChannelKind::Text;
}

namespace {

// std::string compares byte-wise (char_traits<char>::compare is memcmp-like
// on unsigned bytes), which is the order the document yields its keys in.
template <typename T>
void sort_by_order_then_id(std::vector<T>& list) {
  std::stable_sort(list.begin(), list.end(), [](const T& a, const T& b) {
    return std::tie(a.order, a.id) < std::tie(b.order, b.id);
  });
}

}  // namespace

void sort_workspaces(std::vector<Workspace>& list) {
  sort_by_order_then_id(list);
}
void sort_categories(std::vector<Category>& list) {
  sort_by_order_then_id(list);
}
void sort_channels(std::vector<Channel>& list) {
  sort_by_order_then_id(list);
}

void sort_persons(std::vector<Person>& list) {
  std::stable_sort(list.begin(), list.end(),
                   [](const Person& a, const Person& b) { return a.id < b.id; });
}

void sort_voice_participants(std::vector<VoiceParticipant>& list) {
  std::stable_sort(list.begin(), list.end(),
                   [](const VoiceParticipant& a, const VoiceParticipant& b) {
                     if (a.talking != b.talking) return a.talking;
                     return a.user < b.user;
                   });
}

std::vector<ReactionGroup> group_reactions(const std::vector<ReactionEntry>& entries) {
  std::vector<ReactionGroup> groups;
  for (const ReactionEntry& entry : entries) {
    if (entry.emoji.empty()) continue;
    auto group = std::find_if(groups.begin(), groups.end(),
                              [&](const ReactionGroup& g) { return g.emoji == entry.emoji; });
    if (group == groups.end()) {
      groups.push_back(ReactionGroup{entry.emoji, {}});
      group = groups.end() - 1;
    }
    if (std::find(group->users.begin(), group->users.end(), entry.user) == group->users.end()) {
      group->users.push_back(entry.user);
    }
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const ReactionGroup& a, const ReactionGroup& b) {
                     if (a.users.size() != b.users.size()) return a.users.size() > b.users.size();
                     return a.emoji < b.emoji;
                   });
  return groups;
}

std::uint32_t unread_count(std::uint64_t top_level_messages, std::int64_t read_count) {
  if (read_count < 0) read_count = 0;
  auto read = static_cast<std::uint64_t>(read_count);
  if (read >= top_level_messages) return 0;
  std::uint64_t unread = top_level_messages - read;
  return unread > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(unread);
}

std::string draft_key(std::string_view channel, std::optional<std::string_view> thread_root) {
  std::string key(channel);
  if (thread_root) {
    key += "::t::";
    key += *thread_root;
  }
  return key;
}

}  // namespace chat
