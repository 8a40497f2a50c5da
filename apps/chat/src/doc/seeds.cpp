#include "doc/seeds.hpp"

#include <array>
#include <span>
#include <string>

#include "base/random.hpp"
#include "doc/access.hpp"
#include "doc/projection.hpp"
#include "doc/schema.hpp"
#include "doc/writers.hpp"

namespace chat::doc {
namespace {

const ObjId kRoot = ObjId::root();

struct PersonSeed {
  std::string_view id, name, initials;
  std::int64_t color_idx;
  PersonStatus status;
};
struct WorkspaceSeed {
  std::string_view id, name, glyph;
  std::int64_t color_idx, order;
};
struct CategorySeed {
  std::string_view id, workspace, name;
  std::int64_t order;
};
struct ChannelSeed {
  std::string_view id, workspace, category, name, topic;
  bool voice;
  std::int64_t order;
};

// Answers false when the document was seeded already; otherwise marks it
// seeded before anything else is written.
bool claim_seed(Document& doc) {
  if (is_seeded(doc)) return false;
  put_bool(doc, kRoot, key::kSeeded, true);
  return true;
}

void write_person(Document& doc, const PersonSeed& p) {
  auto users = ensure_map(doc, kRoot, key::kUsers);
  if (!users) return;
  auto map = ensure_map(doc, *users, p.id);
  if (!map) return;
  put_str(doc, *map, key::kName, p.name);
  put_str(doc, *map, key::kInitials, p.initials);
  put_int(doc, *map, key::kColorIdx, p.color_idx);
  put_str(doc, *map, key::kStatus, person_status_text(p.status));
}

void write_places(Document& doc, std::span<const WorkspaceSeed> workspaces,
                  std::span<const CategorySeed> categories, std::span<const ChannelSeed> channels) {
  for (const WorkspaceSeed& w : workspaces) {
    put_workspace(doc, w.id, w.name, w.glyph, w.color_idx, w.order);
  }
  for (const CategorySeed& c : categories) put_category(doc, c.id, c.workspace, c.name, c.order);
  for (const ChannelSeed& c : channels) {
    put_channel(doc, c.id, c.workspace, c.category, c.name, c.topic, c.voice, c.order);
  }
}

std::string run_time_message_id() {
  return "m_" + base::Uuid::v4().simple();
}

constexpr std::array<PersonSeed, 6> kDemoPersons{{
    {"u_me", "You", "VD", 0, PersonStatus::Online},
    {"u_tessa", "Tessa Moore", "TM", 1, PersonStatus::Online},
    {"u_jonah", "Jonah Reed", "JR", 2, PersonStatus::Idle},
    {"u_kit", "Kit Lawson", "KL", 3, PersonStatus::Online},
    {"u_ben", "Ben Walsh", "BW", 5, PersonStatus::Dnd},
    {"u_gwen", "Gwen Hale", "GH", 6, PersonStatus::Offline},
}};

constexpr std::array<WorkspaceSeed, 3> kDemoWorkspaces{{
    {"ws_acme", "Acme Design", "AD", 0, 0},
    {"ws_vesk", "Vesk Core", "VC", 1, 1},
    {"ws_jam", "Weekend Jam", "WJ", 3, 2},
}};

constexpr std::array<CategorySeed, 5> kDemoCategories{{
    {"cat_acme_main", "ws_acme", "Channels", 0},
    {"cat_acme_voice", "ws_acme", "Voice", 1},
    {"cat_vesk_eng", "ws_vesk", "Engineering", 0},
    {"cat_vesk_voice", "ws_vesk", "Voice", 1},
    {"cat_jam_main", "ws_jam", "Hangout", 0},
}};

constexpr std::array<ChannelSeed, 13> kDemoChannels{{
    {"c_general", "ws_acme", "cat_acme_main", "general", "Company-wide announcements", false, 0},
    {"c_crit", "ws_acme", "cat_acme_main", "design-crit", "Share work, get sharp feedback", false,
     1},
    {"c_frontend", "ws_acme", "cat_acme_main", "frontend", "ui toolkit + app shells", false, 2},
    {"c_random", "ws_acme", "cat_acme_main", "random", "Off-topic & watercooler", false, 3},
    {"c_standup", "ws_acme", "cat_acme_voice", "Daily Standup", "", true, 0},
    {"c_huddle", "ws_acme", "cat_acme_voice", "Design Huddle", "", true, 1},
    {"c_kernel", "ws_vesk", "cat_vesk_eng", "kernel", "bootc + immutable base", false, 0},
    {"c_compositor", "ws_vesk", "cat_vesk_eng", "compositor", "2D clusters & sandboxing", false, 1},
    {"c_fssync", "ws_vesk", "cat_vesk_eng", "fs-sync", "relaynet projection & hydration", false, 2},
    {"c_releases", "ws_vesk", "cat_vesk_eng", "releases", "ship logs", false, 3},
    {"c_warroom", "ws_vesk", "cat_vesk_voice", "War Room", "", true, 0},
    {"c_ideas", "ws_jam", "cat_jam_main", "ideas", "weekend hacks", false, 0},
    {"c_music", "ws_jam", "cat_jam_main", "music", "now playing", false, 1},
}};

Message demo_message(std::string id, std::string_view author, std::int64_t ts,
                     std::string_view text, std::vector<ReactionGroup> reactions = {}) {
  Message m;
  m.id = std::move(id);
  m.author = std::string(author);
  m.ts = ts;
  m.text = std::string(text);
  m.reactions = std::move(reactions);
  return m;
}

Message demo_reply(std::string_view author, std::int64_t ts, std::string_view text,
                   std::vector<ReactionGroup> reactions = {}) {
  Message m = demo_message(run_time_message_id(), author, ts, text, std::move(reactions));
  m.parent = "m_concept";
  return m;
}

void write_demo_messages(WorkspaceDoc& doc) {
  std::vector<Message> crit;
  crit.push_back(demo_message("m_open", "u_tessa", 1782471840,
                              "Morning! Pushed the new call overlay mock — pulling tiles into a "
                              "2x2 grid reads way calmer than the old filmstrip.",
                              {{"🎉", {"u_me", "u_jonah"}}}));
  Message concept_msg = demo_message(
      "m_concept", "u_tessa", 1782471900,
      "Here's the frame — the host tile keeps the live camera, everyone else collapses to chips "
      "when they're audio-only.",
      {{"❤️", {"u_me", "u_kit", "u_jonah"}}, {"🔥", {"u_ben"}}});
  concept_msg.attachment =
      Attachment::Image{"call-overlay-v3.png", "vesk-demo://call-grid", 640, 360};
  crit.push_back(std::move(concept_msg));
  crit.push_back(demo_message("m_me1", "u_me", 1782472140,
                              "Love it. One ask: can the 'follow the host' affordance live on the "
                              "host tile itself instead of the controls bar?"));
  crit.push_back(demo_message("m_jonah", "u_jonah", 1782472560,
                              "+1 — and we should read every colour from the OS theme so it "
                              "matches whatever the cluster is themed to.",
                              {{"👍", {"u_me", "u_tessa"}}}));
  Message notes = demo_message("m_ben", "u_ben", 1782473400,
                               "Dropping the transport notes here so they don't get lost.");
  notes.attachment = Attachment::File{"moq-over-relaynet.md", "demo:moq-over-relaynet", 18944};
  crit.push_back(std::move(notes));
  Message clip =
      demo_message("m_clip", "u_kit", 1782473760,
                   "Screen recording of the tile-promotion motion — this is the feel I'm after:",
                   {{"🔥", {"u_me", "u_tessa"}}});
  clip.attachment =
      Attachment::Video{"tile-promotion.webm", "demo:tile-promotion", 1280, 720, 6815744};
  crit.push_back(std::move(clip));
  Message kit = demo_message(
      "m_kit", "u_kit", 1782475140,
      "Wired the screen-share stage — whoever presents gets a big featured tile and everyone else "
      "drops to the filmstrip beneath it. Reads really cleanly.",
      {{"🚀", {"u_me", "u_tessa", "u_jonah", "u_ben"}}, {"👀", {"u_gwen"}}});
  kit.edited = true;
  kit.history.push_back(HistoryEntry{
      "Wired up screen-share — the presenter gets a featured tile, everyone else goes to a "
      "filmstrip.",
      1782475020});
  crit.push_back(std::move(kit));
  crit.push_back(
      demo_message("m_me2", "u_me", 1782475320,
                   "That's the one. Starting a huddle to walk through the grid — jump in."));
  crit.push_back(demo_reply("u_jonah", 1782472020,
                            "Should the chips show a mic-level ring when someone's talking?"));
  crit.push_back(demo_reply("u_tessa", 1782472080,
                            "Yeah — a thin accent ring that pulses. I'll spec the motion token.",
                            {{"👍", {"u_me"}}}));
  crit.push_back(
      demo_reply("u_me", 1782472200, "Perfect, that keeps the audio-only state legible."));
  for (const Message& m : crit) insert_message(doc, "c_crit", m);

  insert_message(doc, "c_general",
                 demo_message(run_time_message_id(), "u_gwen", 1782464400,
                              "Welcome to Acme Design on Vesk 👋 Channels relate to the workspace "
                              "you're standing in — switch workspaces from the rail on the left.",
                              {{"👋", {"u_me", "u_tessa", "u_jonah"}}}));
}

}  // namespace

void seed_home(Document& doc, std::string_view person_id, std::string_view name,
               std::string_view initials) {
  if (!claim_seed(doc)) return;
  write_person(doc, PersonSeed{person_id, name, initials, 0, PersonStatus::Online});
  const std::array<WorkspaceSeed, 1> workspaces{{{"ws_home", "My Workspace", "MW", 0, 0}}};
  const std::array<CategorySeed, 2> categories{{
      {"cat_home_text", "ws_home", "Channels", 0},
      {"cat_home_voice", "ws_home", "Voice", 1},
  }};
  const std::array<ChannelSeed, 2> channels{{
      {"c_general", "ws_home", "cat_home_text", "general", "", false, 0},
      {"c_lounge", "ws_home", "cat_home_voice", "Lounge", "", true, 0},
  }};
  write_places(doc, workspaces, categories, channels);
}

void seed_demo(WorkspaceDoc& wdoc) {
  Document& doc = wdoc.doc();
  if (!claim_seed(doc)) return;
  for (const PersonSeed& p : kDemoPersons) write_person(doc, p);
  write_places(doc, kDemoWorkspaces, kDemoCategories, kDemoChannels);
  struct Presence {
    std::string_view user;
    bool talking, muted, audio_only;
  };
  for (const Presence& p :
       {Presence{"u_tessa", true, false, false}, Presence{"u_jonah", false, true, false},
        Presence{"u_kit", false, false, true}}) {
    join_call(doc, "c_huddle", p.user);
    set_call_state(doc, "c_huddle", p.user, p.talking, p.muted, false, p.audio_only);
  }
  write_demo_messages(wdoc);
}

bool upsert_local_person(Document& doc, std::string_view id, std::string_view name,
                         std::string_view initials, std::int64_t color_idx, PersonStatus status) {
  auto existing = get_map(doc, kRoot, key::kUsers);
  bool wrote = !existing || !get_map(doc, *existing, id);
  auto users = ensure_map(doc, kRoot, key::kUsers);
  if (!users) return false;
  auto map = ensure_map(doc, *users, id);
  if (!map) return wrote;
  wrote |= put_str_if_changed(doc, *map, key::kName, name);
  wrote |= put_str_if_changed(doc, *map, key::kInitials, initials);
  wrote |= put_int_if_changed(doc, *map, key::kColorIdx, color_idx);
  wrote |= put_str_if_changed(doc, *map, key::kStatus, person_status_text(status));
  return wrote;
}

}  // namespace chat::doc
