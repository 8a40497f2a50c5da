// Reading documents that other writers and older releases produced: missing
// keys, values of the wrong kind and older forms must read as the defaults
// the model expects, never fail, and never hide the rest of a record.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "doc/projection.hpp"
#include "doc_test_support.hpp"

namespace chat::doc {
namespace {

const ObjId kRoot = ObjId::root();

// Raw writes, as a foreign writer would make them.
struct Raw {
  crdt::Document d{testing::actor(7)};

  ObjId map(ObjId parent, std::string_view key) {
    return *d.put_object(parent, key, crdt::ObjType::Map);
  }
  ObjId list(ObjId parent, std::string_view key) {
    return *d.put_object(parent, key, crdt::ObjType::List);
  }
  ObjId text(ObjId parent, std::string_view key, std::string_view content) {
    ObjId t = *d.put_object(parent, key, crdt::ObjType::Text);
    EXPECT_TRUE(d.splice_text(t, 0, 0, content).ok());
    return t;
  }
  ObjId append(ObjId list) { return *d.insert_object(list, d.length(list), crdt::ObjType::Map); }
  void put(ObjId obj, std::string_view key, crdt::Scalar value) {
    EXPECT_TRUE(d.put(obj, key, std::move(value)).ok());
  }
  ObjId section(std::string_view key) {
    auto existing = get_map(d, kRoot, key);
    return existing ? *existing : map(kRoot, key);
  }
};

TEST(ProjectionIntegers, EveryNumberKindNarrowsLikeTheModelWants) {
  struct Row {
    crdt::Scalar stored;
    std::uint32_t order;
  };
  const Row rows[] = {
      {crdt::Scalar(std::int64_t{7}), 7},
      {crdt::Scalar(2.9), 2},
      {crdt::Scalar(-2.9), std::numeric_limits<std::uint32_t>::max() - 1},
      {crdt::Scalar(std::string("5")), 0},
      {crdt::Scalar(true), 0},
      {crdt::Scalar(std::uint64_t{(1ull << 32) + 5}), 5},
      {crdt::Scalar(std::int64_t{-1}), std::numeric_limits<std::uint32_t>::max()},
      {crdt::Scalar(std::numeric_limits<double>::quiet_NaN()), 0},
      {crdt::Scalar(1e300), std::numeric_limits<std::uint32_t>::max()},
      {crdt::Scalar(crdt::Null{}), 0},
  };
  for (const Row& row : rows) {
    Raw raw;
    ObjId c = raw.map(raw.section(key::kChannels), "c_x");
    raw.put(c, key::kOrder, row.stored);
    auto channels = list_channels(raw.d);
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].order, row.order) << ::testing::PrintToString(row.stored.index());
  }
}

TEST(ProjectionRecords, MissingAndMistypedFieldsReadAsDefaults) {
  Raw raw;
  ObjId workspaces = raw.section(key::kWorkspaces);
  ObjId ws = raw.map(workspaces, "ws_b");
  raw.put(ws, key::kName, std::int64_t{3});  // wrong kind
  raw.put(ws, key::kColorIdx, 4.5);
  raw.put(workspaces, "ws_scalar", std::string("not a map"));
  ObjId ws_a = raw.map(workspaces, "ws_a");
  raw.put(ws_a, key::kOrder, std::int64_t{1});

  ObjId users = raw.section(key::kUsers);
  raw.put(raw.map(users, "u_away"), key::kStatus, std::string("away"));
  raw.map(users, "u_none");
  ObjId bot = raw.map(users, "u_bot");
  raw.put(bot, key::kStatus, std::string("dnd"));
  raw.put(bot, key::kAgent, true);
  ObjId odd = raw.map(users, "u_odd");
  raw.put(odd, key::kStatus, std::string("Offline"));
  raw.put(odd, key::kAgent, std::string("true"));

  ObjId channels = raw.section(key::kChannels);
  ObjId loud = raw.map(channels, "c_b");
  raw.put(loud, key::kKind, std::string("VOICE"));
  raw.put(loud, key::kArchived, std::int64_t{1});
  ObjId voice = raw.map(channels, "c_a");
  raw.put(voice, key::kKind, std::string("voice"));
  raw.put(voice, key::kTopic, std::string("t"));

  ObjId categories = raw.section(key::kCategories);
  ObjId cat = raw.map(categories, "cat_x");
  raw.put(cat, key::kCollapsed, true);
  raw.put(cat, key::kWorkspace, std::string("ws_a"));

  EXPECT_EQ(list_workspaces(raw.d),
            (std::vector<Workspace>{{"ws_b", "", "", 4, 0}, {"ws_a", "", "", 0, 1}}));
  EXPECT_EQ(list_persons(raw.d), (std::vector<Person>{
                                     {"u_away", "", "", 0, PersonStatus::Online, false},
                                     {"u_bot", "", "", 0, PersonStatus::Dnd, true},
                                     {"u_none", "", "", 0, PersonStatus::Online, false},
                                     {"u_odd", "", "", 0, PersonStatus::Online, false},
                                 }));
  EXPECT_EQ(list_channels(raw.d), (std::vector<Channel>{
                                      {"c_a", "", "", "", "t", ChannelKind::Voice, 0, 0, false},
                                      {"c_b", "", "", "", "", ChannelKind::Text, 0, 0, false},
                                  }));
  EXPECT_EQ(list_categories(raw.d), (std::vector<Category>{{"cat_x", "ws_a", "", 0, true}}));
}

TEST(ProjectionRecords, SectionsOfTheWrongKindReadEmpty) {
  Raw raw;
  raw.list(kRoot, key::kWorkspaces);
  raw.put(kRoot, key::kChannels, std::string("channels"));
  raw.text(kRoot, key::kUsers, "users");
  raw.list(kRoot, key::kMessages);
  raw.put(kRoot, key::kVoice, std::int64_t{1});
  EXPECT_TRUE(list_workspaces(raw.d).empty());
  EXPECT_TRUE(list_channels(raw.d).empty());
  EXPECT_TRUE(list_persons(raw.d).empty());
  EXPECT_TRUE(list_categories(raw.d).empty());
  EXPECT_TRUE(list_messages(raw.d, "c_general").empty());
  EXPECT_TRUE(list_voice_participants(raw.d, "c_lounge").empty());
  EXPECT_EQ(read_draft(raw.d, "c_general"), "");
  EXPECT_EQ(read_unread_count(raw.d, "c_general", "u_me"), 0u);
}

// One channel list written by an older release and by careless writers.
class OlderMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    ObjId messages = raw.section(key::kMessages);
    list = raw.list(messages, "c_old");

    ObjId plain = raw.append(list);  // text as a plain string, parent ""
    raw.put(plain, key::kId, std::string("m_plain"));
    raw.put(plain, key::kText, std::string("plain string text"));
    raw.put(plain, key::kParent, std::string(""));
    raw.put(plain, key::kTs, 17.8);
    raw.put(plain, key::kEdited, std::string("yes"));
    raw.put(plain, key::kReference, std::string("{not json"));

    EXPECT_TRUE(raw.d.insert(list, raw.d.length(list), crdt::Scalar(std::string("junk"))).ok());

    ObjId rich = raw.append(list);
    raw.put(rich, key::kId, std::string("m_rich"));
    raw.put(rich, key::kAuthor, std::string("u_a"));
    raw.put(rich, key::kParent, std::string("m_plain"));
    raw.text(rich, key::kText, "hi @bot");
    raw.put(rich, key::kPinned, true);
    ObjId reactions = raw.list(rich, key::kReactions);
    auto react = [&](std::string emoji, std::string user) {
      ObjId r = raw.append(reactions);
      raw.put(r, key::kEmoji, std::move(emoji));
      raw.put(r, key::kUser, std::move(user));
    };
    react("👍", "u_a");
    react("", "u_b");
    react("❤️", "u_a");
    react("👍", "u_a");
    react("❤️", "u_b");
    react("🎉", "u_c");
    react("👍", "u_c");
    EXPECT_TRUE(raw.d.insert(reactions, 0, crdt::Scalar(std::int64_t{1})).ok());
    ObjId mentions = raw.list(rich, key::kMentions);
    ObjId m1 = raw.append(mentions);
    raw.put(m1, key::kUser, std::string("u_bot"));
    raw.put(m1, key::kStart, std::int64_t{-4});
    raw.put(m1, key::kLen, std::int64_t{4});
    raw.put(m1, key::kAgent, true);
    ObjId m2 = raw.append(mentions);
    raw.put(m2, key::kUser, std::string(""));
    ObjId m3 = raw.append(mentions);
    raw.put(m3, key::kStart, std::int64_t{1});
    ObjId history = raw.list(rich, key::kHistory);
    raw.put(raw.append(history), key::kTs, std::int64_t{5});
    ObjId h2 = raw.append(history);
    raw.put(h2, key::kText, std::string("older"));
    raw.put(h2, key::kTs, std::string("6"));
    raw.put(rich, key::kReference,
            std::string(R"({"kind":"chat.message","id":"m_plain","label":"that","span":null})"));

    auto attach = [&](std::string id, std::function<void(ObjId)> fill) {
      ObjId m = raw.append(list);
      raw.put(m, key::kId, std::move(id));
      fill(raw.map(m, key::kAttachment));
    };
    attach("m_path", [&](ObjId a) {
      raw.put(a, key::kKind, std::string("image"));
      raw.put(a, key::kBlob, std::string(""));
      raw.put(a, key::kPath, std::string("vesk-demo://call-grid"));
      raw.put(a, key::kW, std::int64_t{(1ll << 32) + 640});
      raw.put(a, key::kH, 360.0);
    });
    attach("m_video", [&](ObjId a) {
      raw.put(a, key::kKind, std::string("video"));
      raw.put(a, key::kBlob, std::string("b"));
      raw.put(a, key::kPath, std::string("ignored"));
      raw.put(a, key::kSize, std::int64_t{-1});
    });
    attach("m_file", [&](ObjId a) {
      raw.put(a, key::kKind, std::string("file"));
      raw.put(a, key::kName, std::string("notes.md"));
      raw.put(a, key::kSize, std::uint64_t{18944});
    });
    attach("m_unknown", [&](ObjId a) { raw.put(a, key::kKind, std::string("audio")); });
    ObjId wrong = raw.append(list);
    raw.put(wrong, key::kId, std::string("m_attach_scalar"));
    raw.put(wrong, key::kAttachment, std::string("image"));
  }

  Raw raw;
  ObjId list;
};

TEST_F(OlderMessages, ReadAsTheModelDefaults) {
  std::vector<Message> messages = list_messages(raw.d, "c_old");
  ASSERT_EQ(messages.size(), 7u);  // the scalar element is skipped

  const Message& plain = messages[0];
  EXPECT_EQ(plain.id, "m_plain");
  EXPECT_EQ(plain.channel, "c_old");
  EXPECT_EQ(plain.text, "");
  EXPECT_FALSE(plain.parent.has_value());
  EXPECT_EQ(plain.ts, 17);
  EXPECT_FALSE(plain.edited);
  EXPECT_FALSE(plain.reference.has_value());
  EXPECT_TRUE(plain.reactions.empty() && plain.mentions.empty() && plain.history.empty());

  const Message& rich = messages[1];
  EXPECT_EQ(rich.parent, "m_plain");
  EXPECT_EQ(rich.text, "hi @bot");
  EXPECT_TRUE(rich.pinned);
  // Equal counts fall back to the emoji's bytes: E2.. (heart) before F0.. .
  EXPECT_EQ(rich.reactions, (std::vector<ReactionGroup>{
                                {"❤️", {"u_a", "u_b"}},
                                {"👍", {"u_a", "u_c"}},
                                {"🎉", {"u_c"}},
                            }));
  EXPECT_EQ(rich.mentions, (std::vector<Mention>{{"u_bot", 0, 4, true}}));
  EXPECT_EQ(rich.history, (std::vector<HistoryEntry>{{"", 5}, {"older", 0}}));
  EXPECT_EQ(rich.reference, (ResourceRef{"chat.message", "m_plain", "that", std::nullopt}));

  EXPECT_EQ(messages[2].attachment,
            Attachment(Attachment::Image{"", "vesk-demo://call-grid", 640, 360}));
  EXPECT_EQ(messages[3].attachment, Attachment(Attachment::Video{
                                        "", "b", 0, 0, std::numeric_limits<std::uint64_t>::max()}));
  EXPECT_EQ(messages[4].attachment, Attachment(Attachment::File{"notes.md", "", 18944}));
  EXPECT_FALSE(messages[5].attachment.has_value());
  EXPECT_FALSE(messages[6].attachment.has_value());
}

TEST(ProjectionVoice, TicketsAndOrder) {
  Raw raw;
  ObjId lounge = raw.map(raw.section(key::kVoice), "c_lounge");
  ObjId b = raw.map(lounge, "u_b");
  raw.put(b, key::kTicket, std::string(""));
  ObjId c = raw.map(lounge, "u_c");
  raw.put(c, key::kTalking, true);
  raw.put(c, key::kTicket, std::string("t-c"));
  raw.put(c, key::kSharing, std::string("true"));
  ObjId a = raw.map(lounge, "u_a");
  raw.put(a, key::kMuted, true);
  raw.put(a, key::kDeafened, true);
  raw.put(a, key::kAudioOnly, true);
  raw.put(a, key::kTicket, std::int64_t{4});
  raw.put(lounge, "u_scalar", true);

  EXPECT_EQ(list_voice_participants(raw.d, "c_lounge"),
            (std::vector<VoiceParticipant>{
                {"u_c", "t-c", true, false, false, false, false},
                {"u_a", std::nullopt, false, true, true, true, false},
                {"u_b", std::nullopt, false, false, false, false, false},
            }));
}

TEST(ProjectionCounts, UnreadDraftsAndSeeded) {
  Raw raw;
  ObjId list = raw.list(raw.section(key::kMessages), "c");
  for (std::string parent : {"", "m_1", "", "m_1", ""}) {
    raw.put(raw.append(list), key::kParent, parent);
  }
  EXPECT_EQ(read_unread_count(raw.d, "c", "u_me"), 3u) << "no read entry";
  ObjId mine = raw.map(raw.section(key::kRead), "u_me");
  struct Row {
    crdt::Scalar read;
    std::uint32_t unread;
  };
  for (const Row& row : {Row{std::int64_t{5}, 0}, Row{std::int64_t{1}, 2}, Row{1.9, 2},
                         Row{std::int64_t{-3}, 3}, Row{std::string("2"), 3}}) {
    raw.put(mine, "c", row.read);
    EXPECT_EQ(read_unread_count(raw.d, "c", "u_me"), row.unread);
  }

  ObjId drafts = raw.section(key::kDrafts);
  raw.text(drafts, "c", "draft words");
  raw.put(drafts, "c::t::m_1", std::string("plain"));
  EXPECT_EQ(read_draft(raw.d, "c"), "draft words");
  EXPECT_EQ(read_draft(raw.d, "c::t::m_1"), "");
  EXPECT_EQ(read_draft(raw.d, "c_other"), "");

  for (crdt::Scalar seeded :
       {crdt::Scalar(std::string("true")), crdt::Scalar(std::int64_t{1}), crdt::Scalar(false)}) {
    raw.put(kRoot, key::kSeeded, seeded);
    EXPECT_FALSE(is_seeded(raw.d));
  }
  raw.put(kRoot, key::kSeeded, true);
  EXPECT_TRUE(is_seeded(raw.d));
}

}  // namespace
}  // namespace chat::doc
