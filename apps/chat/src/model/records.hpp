#pragma once
// The chat model: plain owned records rebuilt from the workspace document after
// every change. Views draw them; changes go through chat actions, never here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/agent_work.hpp"
#include "model/attachment.hpp"
#include "model/resource_ref.hpp"

namespace chat {

struct Workspace {
  std::string id;
  std::string name;
  std::string glyph;  // short text drawn in the rail
  std::int64_t color_idx = 0;
  std::uint32_t order = 0;
  friend bool operator==(const Workspace&, const Workspace&) = default;
};

struct Category {
  std::string id;
  std::string workspace;
  std::string name;
  std::uint32_t order = 0;
  bool collapsed = false;
  friend bool operator==(const Category&, const Category&) = default;
};

enum class ChannelKind { Text, Voice };

struct Channel {
  std::string id;
  std::string workspace;
  std::string category;  // empty once its category was deleted
  std::string name;
  std::string topic;
  ChannelKind kind = ChannelKind::Text;
  std::uint32_t order = 0;
  std::uint32_t unread = 0;  // filled by the application, not the projection
  bool archived = false;
  friend bool operator==(const Channel&, const Channel&) = default;
};

enum class PersonStatus { Online, Idle, Dnd, Offline };

struct Person {
  std::string id;
  std::string name;
  std::string initials;
  std::int64_t color_idx = 0;
  PersonStatus status = PersonStatus::Online;
  bool agent = false;
  friend bool operator==(const Person&, const Person&) = default;
};

struct HistoryEntry {
  std::string text;     // the text before the edit
  std::int64_t ts = 0;  // when that edit happened
  friend bool operator==(const HistoryEntry&, const HistoryEntry&) = default;
};

struct ReactionGroup {
  std::string emoji;               // may be several code points
  std::vector<std::string> users;  // each once, in the order they reacted
  friend bool operator==(const ReactionGroup&, const ReactionGroup&) = default;
};

struct Message {
  std::string id;  // unique in the whole document
  std::string channel;
  std::string author;
  std::int64_t ts = 0;
  std::string text;
  bool edited = false;
  std::vector<HistoryEntry> history;  // oldest first
  std::vector<ReactionGroup> reactions;
  std::vector<Mention> mentions;
  std::optional<std::string> parent;  // thread root; absent for a top-level message
  std::optional<ResourceRef> reference;
  std::optional<AgentWork> work;
  std::optional<Attachment> attachment;
  bool pinned = false;

  bool is_top_level() const { return !parent.has_value(); }
  friend bool operator==(const Message&, const Message&) = default;
};

struct VoiceParticipant {
  std::string user;
  std::optional<std::string> ticket;  // absent when none is stored or it is empty
  bool talking = false;
  bool muted = false;
  bool deafened = false;
  bool audio_only = false;
  bool sharing = false;
  friend bool operator==(const VoiceParticipant&, const VoiceParticipant&) = default;
};

// Document texts of the enums. Unknown or missing status text reads as Online;
// unknown kind text reads as Text.
std::string_view person_status_text(PersonStatus status);
PersonStatus person_status_from_text(std::string_view text);
std::string_view channel_kind_text(ChannelKind kind);
ChannelKind channel_kind_from_text(std::string_view text);

// List orders as the read operations deliver them. Workspaces, categories and
// channels: ascending `order`, ties by id byte-wise. Persons: by id.
void sort_workspaces(std::vector<Workspace>& list);
void sort_categories(std::vector<Category>& list);
void sort_channels(std::vector<Channel>& list);
void sort_persons(std::vector<Person>& list);
// Talking participants first, then ascending user id byte-wise.
void sort_voice_participants(std::vector<VoiceParticipant>& list);

// Groups a message's flat (emoji, user) entries: empty emoji skipped, one group
// per emoji, each user once; most users first, then emoji byte-wise.
struct ReactionEntry {
  std::string emoji;
  std::string user;
};
std::vector<ReactionGroup> group_reactions(const std::vector<ReactionEntry>& entries);

// Top-level messages not yet read; 0 when the read count is larger.
std::uint32_t unread_count(std::uint64_t top_level_messages, std::int64_t read_count);

// The key a composer's draft is stored under: the channel id, or for a thread's
// reply composer the channel id, "::t::" and the thread root id.
std::string draft_key(std::string_view channel, std::optional<std::string_view> thread_root = {});

}  // namespace chat
