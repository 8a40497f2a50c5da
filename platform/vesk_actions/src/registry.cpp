#include "vesk_actions/registry.hpp"

#include <utility>

namespace vesk_actions {

base::Status ActionRegistry::register_kind(std::string kind, ActionDecoder decoder) {
  if (kind.empty()) return base::make_error("action kind is empty");
  if (!decoder) return base::make_error("action kind " + kind + " has no decoder");
  if (decoders_.count(kind))
    return base::make_error("action kind " + kind + " is already registered");
  decoders_.emplace(std::move(kind), std::move(decoder));
  return {};
}

bool ActionRegistry::contains(std::string_view kind) const {
  return decoders_.count(kind) > 0;
}

std::vector<std::string> ActionRegistry::kinds() const {
  std::vector<std::string> out;
  for (const auto& [kind, _] : decoders_) out.push_back(kind);
  return out;
}

base::Result<std::unique_ptr<DecodedAction>> ActionRegistry::decode(
    const EncodedAction& action) const {
  auto it = decoders_.find(action.kind);
  if (it == decoders_.end()) return base::make_error("no decoder for action kind " + action.kind);
  auto decoded = it->second(action.payload);
  if (decoded.ok() && !decoded.value()) {
    return base::make_error("decoder for " + action.kind + " returned nothing");
  }
  return decoded;
}

}  // namespace vesk_actions
