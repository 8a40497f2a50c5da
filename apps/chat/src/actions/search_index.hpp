#pragma once
// The chat's search catalog: one entry per workspace, conversation, category,
// message and person, each carrying the address a pick resolves to. It is
// built once and then kept current from what changed; nothing here rereads
// the whole chat for a single change.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "actions/resources.hpp"
#include "doc/workspace_doc.hpp"
#include "vesk_actions/search_catalog.hpp"

namespace chat {

// What changed since the last update, as the document's change events tell
// it: the ids in the channels named are compared with the catalog's, so
// removed messages leave and new ones come in.
using SearchChanges = doc::ChatChanges;

// What a chat action applied locally can change in the catalog.
SearchChanges search_changes_for(const ChatAction& action);

std::vector<vesk_actions::SearchEntry> structure_entries(const ChatReader& reader);
vesk_actions::SearchEntry message_entry(const Message& message, const Channel& channel,
                                        const std::string& workspace_name,
                                        const std::string& author_name);

class ChatSearchIndex {
 public:
  explicit ChatSearchIndex(std::shared_ptr<vesk_actions::SearchCatalog> catalog =
                               std::make_shared<vesk_actions::SearchCatalog>());

  void rebuild(const ChatReader& reader);
  void update(const ChatReader& reader, const SearchChanges& changes);
  // Keeps the catalog current with the document, whoever changed it: local
  // actions, merges, sync with peers. Cheap while the document's revision
  // stands still; the first call reads everything. The document must have no
  // other follower of its take_changes().
  void follow(doc::WorkspaceDoc& doc);

  // The search provider the framework calls.
  base::Result<vesk_actions::SearchPage> query_page(std::string_view query, std::string_view cursor,
                                                    std::size_t limit) const {
    return catalog_->query_page(query, cursor, limit);
  }
  bool cursor_is_current(std::string_view cursor) const {
    return catalog_->cursor_is_current(cursor);
  }
  vesk_actions::SearchStats stats() const { return catalog_->stats(); }
  const std::shared_ptr<vesk_actions::SearchCatalog>& catalog() const { return catalog_; }

 private:
  struct ChannelInfo {
    Channel channel;
    std::string workspace_name;
    bool operator==(const ChannelInfo&) const = default;
  };

  void refresh_structure(const ChatReader& reader, std::set<std::string>& stale_channels);
  void refresh_channel(const ChatReader& reader, const std::string& channel);
  void reconcile_channel(const ChatReader& reader, const std::string& channel);
  void refresh_message(const ChatReader& reader, const std::string& id);
  std::optional<vesk_actions::SearchEntry> entry_for(const Message& m) const;
  void forget_message(const std::string& id);

  std::shared_ptr<vesk_actions::SearchCatalog> catalog_;
  std::optional<std::uint64_t> followed_revision_;
  std::set<std::string> structure_addresses_;
  std::map<std::string, ChannelInfo> channels_;
  std::map<std::string, std::string> person_names_;
  // Which messages each channel has in the catalog, and who wrote in it, so
  // that a rename refreshes only the entries that show the old name.
  std::map<std::string, std::set<std::string>> messages_by_channel_;
  std::map<std::string, std::string> channel_of_message_;
  std::map<std::string, std::set<std::string>> channels_by_author_;
};

// A picked result: the resource with only its "open" action, or none when
// the object is gone.
std::optional<vesk_actions::Resource> resolve_search_result(const ChatReader& reader,
                                                            std::string_view address);

}  // namespace chat
