#include "vesk_actions/resource.hpp"

#include <utility>

namespace vesk_actions {

std::string ActionAddress::encode() const {
  if (id.empty()) return kind;
  std::string out;
  out.reserve(kind.size() + 1 + id.size());
  out.append(kind).push_back(':');
  out.append(id);
  return out;
}

ActionAddress ActionAddress::decode(std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return {std::string(text), {}};
  return {std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

Resource::Resource(ActionAddress address, std::string label)
    : address_(std::move(address)), label_(std::move(label)) {}

Resource& Resource::with_action(ActionSpec spec) {
  actions_.push_back(std::move(spec));
  return *this;
}

Resource& Resource::with_child(Resource child) {
  children_.push_back(std::move(child));
  return *this;
}

const ActionSpec* Resource::find_action(std::string_view name) const {
  for (const auto& spec : actions_) {
    if (spec.name() == name) return &spec;
  }
  return nullptr;
}

}  // namespace vesk_actions
