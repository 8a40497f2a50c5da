#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "model/clock.hpp"
#include "model/records.hpp"

namespace chat {
namespace {

template <typename T>
std::vector<std::string> ids(const std::vector<T>& list) {
  std::vector<std::string> out;
  for (const T& item : list) out.push_back(item.id);
  return out;
}

TEST(ModelOrder, WorkspacesCategoriesChannelsByOrderThenId) {
  std::vector<Channel> channels(5);
  const std::pair<const char*, std::uint32_t> spec[] = {
      {"c_b", 1}, {"c_a", 1}, {"c_z", 0}, {"c_top", 4294967295u}, {"c_B", 1}};
  for (std::size_t i = 0; i < channels.size(); ++i) {
    channels[i].id = spec[i].first;
    channels[i].order = spec[i].second;
  }
  sort_channels(channels);
  // Unsigned comparison keeps the largest order last; "B" sorts before "a" byte-wise.
  EXPECT_EQ(ids(channels), (std::vector<std::string>{"c_z", "c_B", "c_a", "c_b", "c_top"}));

  std::vector<Workspace> workspaces = {
      {"ws_2", "", "", 0, 3}, {"ws_1", "", "", 0, 3}, {"ws_0", "", "", 0, 9}};
  sort_workspaces(workspaces);
  EXPECT_EQ(ids(workspaces), (std::vector<std::string>{"ws_1", "ws_2", "ws_0"}));

  std::vector<Category> categories = {
      {"cat_é", "w", "", 0, false}, {"cat_z", "w", "", 0, false}, {"cat_a", "w", "", 1, false}};
  sort_categories(categories);
  EXPECT_EQ(ids(categories), (std::vector<std::string>{"cat_z", "cat_é", "cat_a"}));
}

TEST(ModelOrder, PersonsById) {
  std::vector<Person> persons(3);
  persons[0].id = "u_c";
  persons[1].id = "u_a";
  persons[2].id = "u_b";
  sort_persons(persons);
  EXPECT_EQ(ids(persons), (std::vector<std::string>{"u_a", "u_b", "u_c"}));
}

TEST(ModelOrder, VoiceParticipantsTalkingFirstThenByUser) {
  std::vector<VoiceParticipant> list(4);
  const std::pair<const char*, bool> spec[] = {
      {"u_d", false}, {"u_c", true}, {"u_a", false}, {"u_b", true}};
  for (std::size_t i = 0; i < list.size(); ++i) {
    list[i].user = spec[i].first;
    list[i].talking = spec[i].second;
  }
  sort_voice_participants(list);
  std::vector<std::string> users;
  for (const auto& p : list) users.push_back(p.user);
  EXPECT_EQ(users, (std::vector<std::string>{"u_b", "u_c", "u_a", "u_d"}));
}

TEST(ModelReactions, GroupsByEmojiMostUsersFirstEachUserOnce) {
  const std::string heart = "\u2764\ufe0f";
  const std::string thumbs = "👍";
  std::vector<ReactionEntry> entries = {
      {thumbs, "u_a"}, {heart, "u_b"}, {"", "u_c"},  {heart, "u_a"},
      {heart, "u_b"},  {"😀", "u_a"},   {"🎉", "u_d"},
  };
  auto groups = group_reactions(entries);
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_EQ(groups[0], (ReactionGroup{heart, {"u_b", "u_a"}}));
  // Equal counts go by emoji bytes: 🎉 (F0 9F 8E) < 👍 (F0 9F 91) < 😀 (F0 9F 98).
  EXPECT_EQ(groups[1].emoji, "🎉");
  EXPECT_EQ(groups[2].emoji, thumbs);
  EXPECT_EQ(groups[3].emoji, "😀");
  EXPECT_TRUE(group_reactions({}).empty());
}

TEST(ModelReadCounts, UnreadIsTopLevelMinusReadNeverNegative) {
  struct Case {
    std::uint64_t top_level;
    std::int64_t read;
    std::uint32_t unread;
  };
  const Case cases[] = {{3, 5, 0}, {3, 1, 2},  {3, 3, 0},
                        {0, 0, 0}, {4, -2, 4}, {7000000000ull, 0, 4294967295u}};
  for (const Case& c : cases) {
    EXPECT_EQ(unread_count(c.top_level, c.read), c.unread) << c.top_level << " " << c.read;
  }
}

TEST(ModelDrafts, KeyIsChannelOrChannelThreadRoot) {
  EXPECT_EQ(draft_key("c_general"), "c_general");
  EXPECT_EQ(draft_key("c_general", "m_root"), "c_general::t::m_root");
}

TEST(ModelEnums, DocumentTextsAndTheirFallbacks) {
  const std::pair<const char*, PersonStatus> statuses[] = {{"online", PersonStatus::Online},
                                                           {"idle", PersonStatus::Idle},
                                                           {"dnd", PersonStatus::Dnd},
                                                           {"offline", PersonStatus::Offline}};
  for (const auto& [text, status] : statuses) {
    EXPECT_EQ(person_status_from_text(text), status);
    EXPECT_EQ(person_status_text(status), text);
  }
  for (const char* unknown : {"", "away", "Offline", "DND"}) {
    EXPECT_EQ(person_status_from_text(unknown), PersonStatus::Online) << unknown;
  }
  EXPECT_EQ(channel_kind_from_text("voice"), ChannelKind::Voice);
  EXPECT_EQ(channel_kind_from_text("text"), ChannelKind::Text);
  EXPECT_EQ(channel_kind_text(ChannelKind::Voice), "voice");
  EXPECT_EQ(channel_kind_text(ChannelKind::Text), "text");
}

TEST(ModelClock, WholeSecondsAndAFixedInstantBeforeTheEpoch) {
  using std::chrono::system_clock;
  using namespace std::chrono_literals;
  EXPECT_EQ(secs_since_epoch(system_clock::time_point{}), 0);
  EXPECT_EQ(secs_since_epoch(system_clock::time_point{1700000000s + 999ms}), 1700000000);
  EXPECT_EQ(secs_since_epoch(system_clock::time_point{-1s}), 1782477600);
  EXPECT_EQ(secs_since_epoch(system_clock::time_point{-1ns}), kFallbackNowSecs);
  std::int64_t before =
      std::chrono::duration_cast<std::chrono::seconds>(system_clock::now().time_since_epoch())
          .count();
  std::int64_t now = now_secs();
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 5);
}

TEST(ModelMessage, TopLevelMeansNoParent) {
  Message m;
  EXPECT_TRUE(m.is_top_level());
  m.parent = "m_root";
  EXPECT_FALSE(m.is_top_level());
}

}  // namespace
}  // namespace chat
