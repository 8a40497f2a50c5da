#include "doc/legacy_attachments.hpp"

#include <string>
#include <vector>

#include "doc/access.hpp"
#include "doc/schema.hpp"

namespace chat::doc {
namespace {

constexpr std::string_view kDemoScheme = "vesk-demo://";

}  // namespace

std::size_t migrate_legacy_attachments(Document& doc) {
  auto messages = get_map(doc, ObjId::root(), key::kMessages);
  if (!messages) return 0;

  std::vector<std::pair<ObjId, std::string>> qualifying;
  std::size_t visited = 0;
  std::vector<std::string> channels = doc.keys(*messages);
  if (channels.size() > kLegacyScanChannels) channels.resize(kLegacyScanChannels);
  for (const std::string& channel : channels) {
    auto list = get_list(doc, *messages, channel);
    if (!list) continue;
    std::size_t length = doc.length(*list);
    for (std::size_t i = 0; i < length && visited < kLegacyScanMessages; ++i) {
      // Every element counts towards the budget, maps or not, so a list
      // full of something else cannot stretch the walk either.
      ++visited;
      auto item = doc.get(*list, i);
      auto message = item ? item->object(crdt::ObjType::Map) : std::nullopt;
      if (!message) continue;
      auto attachment = get_map(doc, *message, key::kAttachment);
      if (!attachment || !str_or_empty(doc, *attachment, key::kBlob).empty()) continue;
      auto path = get_str(doc, *attachment, key::kPath);
      if (path && path->size() <= kLegacyPathMaxBytes && path->starts_with(kDemoScheme) &&
          qualifying.size() < kLegacyRewrites) {
        qualifying.emplace_back(*attachment, std::move(*path));
      }
    }
    if (visited >= kLegacyScanMessages) break;
  }
  for (const auto& [attachment, path] : qualifying) {
    put_str(doc, attachment, key::kBlob, path);
    delete_key(doc, attachment, key::kPath);
  }
  return qualifying.size();
}

}  // namespace chat::doc
