#pragma once
// Shared by the workspace document tests: the whole model read from a
// document in one value, readable printing of the records, and small builders.

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "crdt/document.hpp"
#include "doc/access.hpp"
#include "doc/message_index.hpp"
#include "doc/projection.hpp"
#include "doc/schema.hpp"
#include "doc/seeds.hpp"
#include "doc/workspace_doc.hpp"
#include "model/chat_action.hpp"
#include "model/json_forms.hpp"
#include "model/records.hpp"

namespace chat {

inline void PrintTo(const Workspace& w, std::ostream* os) {
  *os << "{" << w.id << " '" << w.name << "' " << w.glyph << " c" << w.color_idx << " o" << w.order
      << "}";
}
inline void PrintTo(const Category& c, std::ostream* os) {
  *os << "{" << c.id << " ws=" << c.workspace << " '" << c.name << "' o" << c.order
      << (c.collapsed ? " collapsed" : "") << "}";
}
inline void PrintTo(const Channel& c, std::ostream* os) {
  *os << "{" << c.id << " ws=" << c.workspace << " cat=" << c.category << " '" << c.name << "' '"
      << c.topic << "' " << (c.kind == ChannelKind::Voice ? "voice" : "text") << " o" << c.order
      << (c.archived ? " archived" : "") << "}";
}
inline void PrintTo(const Person& p, std::ostream* os) {
  *os << "{" << p.id << " '" << p.name << "' " << p.initials << " c" << p.color_idx << " s"
      << static_cast<int>(p.status) << (p.agent ? " agent" : "") << "}";
}
inline void PrintTo(const VoiceParticipant& v, std::ostream* os) {
  *os << "{" << v.user << " ticket=" << v.ticket.value_or("-") << " t" << v.talking << " m"
      << v.muted << " d" << v.deafened << " a" << v.audio_only << " s" << v.sharing << "}";
}
inline void PrintTo(const Message& m, std::ostream* os) {
  *os << "{" << m.id << " by " << m.author << " ts" << m.ts << " '" << m.text << "'";
  if (m.parent) *os << " parent=" << *m.parent;
  if (m.edited) *os << " edited";
  if (m.pinned) *os << " pinned";
  for (const HistoryEntry& h : m.history) *os << " hist('" << h.text << "'@" << h.ts << ")";
  for (const ReactionGroup& g : m.reactions) {
    *os << " " << g.emoji << "[";
    for (const std::string& u : g.users) *os << u << ",";
    *os << "]";
  }
  for (const Mention& mention : m.mentions) *os << " @" << encode_json(mention);
  if (m.reference) *os << " ref=" << encode_json(*m.reference);
  if (m.work) *os << " work=" << encode_json(*m.work);
  if (m.attachment) *os << " att=" << encode_json(*m.attachment);
  *os << "}";
}

namespace doc::testing {

// Everything the read operations can tell about a document, plus the raw read
// counts and drafts, so a test can state the whole expected outcome.
struct Model {
  std::vector<Workspace> workspaces;
  std::vector<Category> categories;
  std::vector<Channel> channels;
  std::vector<Person> persons;
  std::map<std::string, std::vector<Message>> messages;  // by "messages" key
  std::map<std::string, std::vector<VoiceParticipant>> voice;
  std::map<std::pair<std::string, std::string>, std::int64_t> reads;  // (user, channel)
  std::map<std::string, std::string> drafts;
  bool seeded = false;
  friend bool operator==(const Model&, const Model&) = default;

  const Message* message(std::string_view channel, std::string_view id) const {
    auto it = messages.find(std::string(channel));
    if (it == messages.end()) return nullptr;
    for (const Message& m : it->second) {
      if (m.id == id) return &m;
    }
    return nullptr;
  }
  Message& message_mut(std::string_view channel, std::string_view id) {
    for (Message& m : messages.at(std::string(channel))) {
      if (m.id == id) return m;
    }
    throw std::out_of_range(std::string(id));
  }
  Channel& channel_mut(std::string_view id) {
    for (Channel& c : channels) {
      if (c.id == id) return c;
    }
    throw std::out_of_range(std::string(id));
  }
};

inline Model project(const crdt::Document& d) {
  Model m;
  m.workspaces = list_workspaces(d);
  m.categories = list_categories(d);
  m.channels = list_channels(d);
  m.persons = list_persons(d);
  const ObjId root = ObjId::root();
  if (auto messages = get_map(d, root, key::kMessages)) {
    for (const std::string& channel : d.keys(*messages)) {
      m.messages[channel] = list_messages(d, channel);
    }
  }
  if (auto voice = get_map(d, root, key::kVoice)) {
    for (const std::string& channel : d.keys(*voice)) {
      m.voice[channel] = list_voice_participants(d, channel);
    }
  }
  if (auto reads = get_map(d, root, key::kRead)) {
    for (const std::string& user : d.keys(*reads)) {
      auto mine = get_map(d, *reads, user);
      if (!mine) continue;
      for (const std::string& channel : d.keys(*mine)) {
        m.reads[{user, channel}] = int_or_zero(d, *mine, channel);
      }
    }
  }
  if (auto drafts = get_map(d, root, key::kDrafts)) {
    for (const std::string& k : d.keys(*drafts)) m.drafts[k] = read_draft(d, k);
  }
  m.seeded = is_seeded(d);
  return m;
}

// Field-by-field, so a failure names the part that differs.
inline void expect_same_model(const Model& actual, const Model& expected) {
  EXPECT_EQ(actual.workspaces, expected.workspaces);
  EXPECT_EQ(actual.categories, expected.categories);
  EXPECT_EQ(actual.channels, expected.channels);
  EXPECT_EQ(actual.persons, expected.persons);
  EXPECT_EQ(actual.messages, expected.messages);
  EXPECT_EQ(actual.voice, expected.voice);
  EXPECT_EQ(actual.reads, expected.reads);
  EXPECT_EQ(actual.drafts, expected.drafts);
  EXPECT_EQ(actual.seeded, expected.seeded);
}

// A document with a fixed actor, so runs are reproducible.
inline crdt::ActorId actor(std::uint8_t n) {
  crdt::ActorId a{};
  a.fill(n);
  return a;
}

inline ChatAction::SendMessage send(std::string channel, std::string id, std::string text,
                                    std::optional<std::string> parent = std::nullopt) {
  ChatAction::SendMessage s;
  s.channel = std::move(channel);
  s.id = std::move(id);
  s.author = "u_me";
  s.ts = 1782480000;
  s.text = std::move(text);
  s.parent = std::move(parent);
  return s;
}

// Two replicas of the demonstration workspace, `b` loaded from `a`.
struct Replicas {
  Replicas() {
    WorkspaceDoc seed(a);
    seed_demo(seed);
    a.commit();
    b = crdt::Document::load(a.save(), actor(2)).value();
  }

  // Runs the sync protocol until neither side has anything more to say.
  void sync() {
    crdt::SyncState sa, sb;
    for (int round = 0; round < 20; ++round) {
      bool quiet = true;
      while (auto msg = a.generate_sync_message(sa)) {
        quiet = false;
        ASSERT_TRUE(b.receive_sync_message(sb, *msg).ok());
      }
      while (auto msg = b.generate_sync_message(sb)) {
        quiet = false;
        ASSERT_TRUE(a.receive_sync_message(sa, *msg).ok());
      }
      if (quiet) break;
    }
    ASSERT_EQ(a.heads(), b.heads());
  }

  crdt::Document a{actor(1)};
  crdt::Document b{actor(2)};
};

// The index and the record cache must answer what a walk over every
// channel's list answers.
inline void expect_index_matches(WorkspaceDoc& w) {
  const crdt::Document& d = w.doc();
  MessageIndex& index = w.messages();
  std::size_t maps = 0;
  if (auto messages = get_map(d, ObjId::root(), key::kMessages)) {
    for (const std::string& channel : d.keys(*messages)) {
      auto list = get_list(d, *messages, channel);
      if (!list) continue;
      std::map<std::string, ObjId> first;
      for (const crdt::Value& item : d.items(*list)) {
        auto map = item.object(crdt::ObjType::Map);
        if (!map) continue;
        ++maps;
        auto id = get_str(d, *map, key::kId);
        if (!id) continue;
        first.emplace(*id, *map);
        EXPECT_TRUE(index.exists(*id)) << *id;
      }
      for (const auto& [id, map] : first) {
        auto found = index.find(channel, id);
        ASSERT_TRUE(found.has_value()) << channel << "/" << id;
        EXPECT_EQ(found->message, map) << channel << "/" << id;
        EXPECT_EQ(found->list, *list) << channel << "/" << id;
      }
      // The cached records and the index's counts answer what a full read does.
      EXPECT_EQ(w.list_messages(channel), list_messages(d, channel)) << channel;
      EXPECT_EQ(w.unread_count(channel, "u_me"), read_unread_count(d, channel, "u_me")) << channel;
    }
  }
  EXPECT_EQ(index.size(), maps);
  EXPECT_FALSE(index.exists("m_never_written"));
}

// Names a parameterised case after its `name` member; gtest takes only
// letters, digits and '_' in a name, so anything else becomes '_'.
struct NamedByCase {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name;
    for (char ch : info.param.name) {
      name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return name;
  }
};

inline std::string hex_blob(char digit = 'a') {
  return std::string(64, digit);
}

}  // namespace doc::testing
}  // namespace chat
