#include "doc/apply.hpp"

#include <algorithm>
#include <tuple>

#include "doc/access.hpp"
#include "doc/agent_work_store.hpp"
#include "doc/schema.hpp"
#include "doc/send_validation.hpp"
#include "doc/writers.hpp"

namespace chat::doc {
namespace {

const ObjId kRoot = ObjId::root();
using A = ChatAction;

std::optional<ObjId> record(const Document& doc, std::string_view section, std::string_view id) {
  auto records = get_map(doc, kRoot, section);
  if (!records) return std::nullopt;
  return get_map(doc, *records, id);
}

struct ChannelSlot {
  std::string id;
  ObjId map;
  std::string workspace;
  std::string category;
  std::uint32_t order = 0;
};

// Every channel with its placement, in key order.
std::vector<ChannelSlot> channel_slots(const Document& doc) {
  std::vector<ChannelSlot> out;
  auto channels = get_map(doc, kRoot, key::kChannels);
  if (!channels) return out;
  for (const std::string& id : doc.keys(*channels)) {
    auto map = get_map(doc, *channels, id);
    if (!map) continue;
    out.push_back(ChannelSlot{id, *map, str_or_empty(doc, *map, key::kWorkspace),
                              str_or_empty(doc, *map, key::kCategory),
                              static_cast<std::uint32_t>(int_or_zero(doc, *map, key::kOrder))});
  }
  return out;
}

// One more than the highest order in the group, 0 for an empty group. The
// record being (re)written is not part of its own group, so that applying
// its creation again does not move it.
template <typename InGroup>
std::int64_t next_order(const std::vector<ChannelSlot>& slots, InGroup&& in_group) {
  std::optional<std::uint32_t> highest;
  for (const ChannelSlot& slot : slots) {
    if (in_group(slot)) highest = std::max(highest.value_or(0), slot.order);
  }
  return highest ? std::int64_t{*highest} + 1 : 0;
}

class Applier {
 public:
  explicit Applier(WorkspaceDoc& wdoc) : wdoc_(wdoc), doc_(wdoc.doc()) {}

  void operator()(const A::SendMessage& a) {
    if (!send_message_acceptable(wdoc_, a)) return;
    Message message;
    message.id = a.id;
    message.author = a.author;
    message.ts = a.ts;
    message.text = a.text;
    message.parent = a.parent;
    message.attachment = a.attachment;
    message.mentions = a.mentions;
    message.reference = a.reference;
    insert_message(wdoc_, a.channel, message);
  }

  void operator()(const A::EditMessage& a) {
    auto found = find_message(wdoc_, a.channel, a.id);
    if (!found) return;
    std::string before = get_text(doc_, found->map, key::kText).value_or(std::string());
    if (before == a.text) return;
    if (auto history = ensure_list(doc_, found->map, key::kHistory)) {
      if (auto entry = append_map(doc_, *history)) {
        put_int(doc_, *entry, key::kTs, a.ts);
        put_str(doc_, *entry, key::kText, before);
      }
    }
    if (auto text = ensure_text(doc_, found->map, key::kText)) set_text(doc_, *text, a.text);
    put_bool(doc_, found->map, key::kEdited, true);
  }

  void operator()(const A::DeleteMessage& a) {
    auto found = find_message(wdoc_, a.channel, a.id);
    if (!found) return;
    auto position = wdoc_.messages().position(a.channel, found->map);
    if (!position) return;
    delete_index(doc_, found->list, *position);
    wdoc_.note_removed(a.channel, *position);
  }

  void operator()(const A::AddReaction& a) {
    auto found = find_message(wdoc_, a.channel, a.msg);
    if (!found) return;
    auto reactions = ensure_list(doc_, found->map, key::kReactions);
    if (!reactions || reaction_position(*reactions, a.emoji, a.user)) return;
    if (auto entry = append_map(doc_, *reactions)) {
      put_str(doc_, *entry, key::kEmoji, a.emoji);
      put_str(doc_, *entry, key::kUser, a.user);
    }
  }

  void operator()(const A::RemoveReaction& a) {
    auto found = find_message(wdoc_, a.channel, a.msg);
    if (!found) return;
    auto reactions = get_list(doc_, found->map, key::kReactions);
    if (!reactions) return;
    if (auto position = reaction_position(*reactions, a.emoji, a.user)) {
      delete_index(doc_, *reactions, *position);
    }
  }

  void operator()(const A::PinMessage& a) {
    if (auto found = find_message(wdoc_, a.channel, a.msg)) {
      put_bool_if_changed(doc_, found->map, key::kPinned, a.pinned);
    }
  }

  void operator()(const A::CreateChannel& a) {
    std::int64_t order = next_order(channel_slots(doc_), [&](const ChannelSlot& s) {
      return s.id != a.id && s.workspace == a.workspace && s.category == a.category;
    });
    put_channel(doc_, a.id, a.workspace, a.category, a.name, "", a.kind == ChannelKind::Voice,
                order);
  }

  void operator()(const A::CreateCategory& a) {
    std::optional<std::uint32_t> highest;
    if (auto categories = get_map(doc_, kRoot, key::kCategories)) {
      for (const std::string& id : doc_.keys(*categories)) {
        auto map = get_map(doc_, *categories, id);
        if (!map || id == a.id || str_or_empty(doc_, *map, key::kWorkspace) != a.workspace) {
          continue;
        }
        auto order = static_cast<std::uint32_t>(int_or_zero(doc_, *map, key::kOrder));
        highest = std::max(highest.value_or(0), order);
      }
    }
    put_category(doc_, a.id, a.workspace, a.name, highest ? std::int64_t{*highest} + 1 : 0);
  }

  void operator()(const A::RenameCategory& a) {
    if (auto map = record(doc_, key::kCategories, a.id)) put_str(doc_, *map, key::kName, a.name);
  }

  void operator()(const A::DeleteCategory& a) {
    std::vector<ChannelSlot> slots = channel_slots(doc_);
    std::vector<std::size_t> moving;
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (slots[i].category == a.id) moving.push_back(i);
    }
    // In their shown order, so the moved channels keep their sequence.
    std::stable_sort(moving.begin(), moving.end(), [&](std::size_t x, std::size_t y) {
      return std::tie(slots[x].order, slots[x].id) < std::tie(slots[y].order, slots[y].id);
    });
    for (std::size_t i : moving) {
      ChannelSlot& slot = slots[i];
      std::int64_t order = next_order(slots, [&](const ChannelSlot& s) {
        return s.id != slot.id && s.workspace == slot.workspace && s.category.empty();
      });
      put_str(doc_, slot.map, key::kCategory, "");
      put_int(doc_, slot.map, key::kOrder, order);
      slot.category.clear();
      slot.order = static_cast<std::uint32_t>(order);
    }
    if (auto categories = get_map(doc_, kRoot, key::kCategories)) {
      delete_key(doc_, *categories, a.id);
    }
  }

  void operator()(const A::SetCategoryCollapsed& a) {
    if (auto map = record(doc_, key::kCategories, a.id)) {
      put_bool(doc_, *map, key::kCollapsed, a.collapsed);
    }
  }

  void operator()(const A::ReorderChannel& a) {
    std::vector<ChannelSlot> slots = channel_slots(doc_);
    auto self = std::find_if(slots.begin(), slots.end(),
                             [&](const ChannelSlot& s) { return s.id == a.id; });
    if (self == slots.end()) return;
    std::vector<ChannelSlot> group;
    for (const ChannelSlot& s : slots) {
      if (s.workspace == self->workspace && s.category == self->category) group.push_back(s);
    }
    std::stable_sort(group.begin(), group.end(),
                     [](const ChannelSlot& x, const ChannelSlot& y) { return x.order < y.order; });
    auto at = std::find_if(group.begin(), group.end(),
                           [&](const ChannelSlot& s) { return s.id == a.id; });
    if (a.up ? at == group.begin() : at + 1 == group.end()) return;
    const ChannelSlot& neighbour = a.up ? *(at - 1) : *(at + 1);
    put_int(doc_, at->map, key::kOrder, neighbour.order);
    put_int(doc_, neighbour.map, key::kOrder, at->order);
  }

  void operator()(const A::RenameChannel& a) {
    if (auto map = record(doc_, key::kChannels, a.id)) put_str(doc_, *map, key::kName, a.name);
  }

  void operator()(const A::DeleteChannel& a) {
    for (std::string_view section : {key::kChannels, key::kMessages, key::kVoice, key::kDrafts}) {
      if (auto map = get_map(doc_, kRoot, section)) delete_key(doc_, *map, a.id);
    }
  }

  void operator()(const A::ArchiveChannel& a) {
    if (auto map = record(doc_, key::kChannels, a.id)) {
      put_bool_if_changed(doc_, *map, key::kArchived, a.archived);
    }
  }

  void operator()(const A::MarkRead& a) {
    if (!channel_exists(a.channel)) return;
    auto reads = ensure_map(doc_, kRoot, key::kRead);
    if (!reads) return;
    if (auto mine = ensure_map(doc_, *reads, a.user)) {
      put_int_if_changed(doc_, *mine, a.channel, a.count);
    }
  }

  void operator()(const A::SetAgentWork& a) {
    auto found = find_message(wdoc_, a.channel, a.msg);
    if (!found) return;
    std::optional<AgentWork> current = read_agent_work(doc_, found->map);
    bool same = current && current->state == a.work.state && current->since == a.work.since &&
                current->reasoning == a.work.reasoning &&
                current->trace == storable_trace(a.work.trace);
    if (!same) write_agent_work(doc_, found->map, a.work);
    if (a.say && !a.say->empty()) {
      auto text = get_text_obj(doc_, found->map, key::kText);
      if (text && doc_.length(*text) == 0) set_text(doc_, *text, *a.say);
    }
  }

  void operator()(const A::JoinCall& a) {
    if (channel_exists(a.channel)) join_call(doc_, a.channel, a.user);
  }

  void operator()(const A::LeaveCall& a) {
    auto voice = get_map(doc_, kRoot, key::kVoice);
    if (!voice) return;
    if (auto presences = get_map(doc_, *voice, a.channel)) delete_key(doc_, *presences, a.user);
  }

  void operator()(const A::SetCallState& a) {
    if (!channel_exists(a.channel)) return;
    set_call_state(doc_, a.channel, a.user, a.talking, a.muted, a.deafened, a.audio_only);
  }

  void operator()(const A::SetScreenShare& a) {
    if (!channel_exists(a.channel)) return;
    if (auto presence = ensure_presence(doc_, a.channel, a.user)) {
      put_bool_if_changed(doc_, *presence, key::kSharing, a.sharing);
    }
  }

  void operator()(const A::SetCallTicket& a) {
    if (!channel_exists(a.channel)) return;
    if (auto presence = ensure_presence(doc_, a.channel, a.user)) {
      put_str_if_changed(doc_, *presence, key::kTicket, a.ticket);
    }
  }

 private:
  bool channel_exists(std::string_view id) const {
    return record(doc_, key::kChannels, id).has_value();
  }

  std::optional<std::size_t> reaction_position(ObjId reactions, std::string_view emoji,
                                               std::string_view user) const {
    std::vector<crdt::Value> items = doc_.items(reactions);
    for (std::size_t i = 0; i < items.size(); ++i) {
      auto entry = items[i].object(crdt::ObjType::Map);
      if (entry && get_str(doc_, *entry, key::kEmoji) == emoji &&
          get_str(doc_, *entry, key::kUser) == user) {
        return i;
      }
    }
    return std::nullopt;
  }

  WorkspaceDoc& wdoc_;
  Document& doc_;
};

}  // namespace

bool send_message_acceptable(WorkspaceDoc& wdoc, const ChatAction::SendMessage& send) {
  const Document& doc = wdoc.doc();
  if (!record(doc, key::kChannels, send.channel)) return false;
  if (!valid_message_id(send.id) || wdoc.messages().exists(send.id)) return false;
  if (send.text.size() > kMaxMessageTextBytes) return false;
  if (send.attachment && !valid_attachment(*send.attachment)) return false;
  if (send.parent) {
    // A reply may arrive before its root; only a root that is itself a reply
    // is refused, so threads stay one level deep.
    if (auto root = find_message(wdoc, send.channel, *send.parent)) {
      if (!str_or_empty(doc, root->map, key::kParent).empty()) return false;
    }
  }
  return true;
}

void apply(WorkspaceDoc& doc, const ChatAction& action) {
  std::visit(Applier(doc), action.value);
}

}  // namespace chat::doc
