#pragma once
// A resource is one object a host publishes: a kind, an id, a label, the
// actions it offers and its children. Actions and children keep call order.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vesk_actions/action.hpp"

namespace vesk_actions {

struct ActionAddress {
  std::string kind;  // "chat.channel"
  std::string id;    // empty for singleton resources such as "chat.people"

  // "kind:id", or just the kind when the id is empty.
  std::string encode() const;
  // Splits at the first ':'; a text without one is a singleton address.
  static ActionAddress decode(std::string_view text);
  bool operator==(const ActionAddress&) const = default;
};

class Resource {
 public:
  Resource(ActionAddress address, std::string label);

  Resource& with_action(ActionSpec spec);
  Resource& with_child(Resource child);

  const ActionAddress& address() const { return address_; }
  const std::string& label() const { return label_; }
  const std::vector<ActionSpec>& actions() const { return actions_; }
  const std::vector<Resource>& children() const { return children_; }
  const ActionSpec* find_action(std::string_view name) const;

 private:
  ActionAddress address_;
  std::string label_;
  std::vector<ActionSpec> actions_;
  std::vector<Resource> children_;
};

}  // namespace vesk_actions
