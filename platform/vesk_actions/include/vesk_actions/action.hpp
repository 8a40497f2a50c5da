#pragma once
// Encoded actions and the specs that produce them. An action travels between
// the host, automation clients and peers as a kind text plus payload bytes; a
// spec is the user-facing face of one action of a resource.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.hpp"

namespace vesk_actions {

// What an operation does to the host. View only changes what is shown, Effect
// changes something outside the document (imports a file, ...). Inspect is
// the third value: a read-only probe that hosts may decline without an error.
enum class OperationType : std::uint8_t { View, Effect, Inspect };

std::string_view operation_type_name(OperationType type);
std::optional<OperationType> operation_type_from_name(std::string_view name);

struct EncodedAction {
  std::string kind;
  std::string payload;
  // Present for operations only: plain actions change the document.
  std::optional<OperationType> operation_type;

  bool operator==(const EncodedAction&) const = default;
};

// Fails when the encoded action is not an operation of the declared type.
base::Status enforce_operation_type(const EncodedAction& action, OperationType declared);

// "SetCategoryCollapsed" -> "Set category collapsed", "mark-read" -> "Mark read".
std::string humanize_identifier(std::string_view identifier);

enum class RiskLevel : std::uint8_t { Low, Medium, High };

// Named arguments of one invocation. Specs take at most one text parameter,
// stored under "value".
class ActionArgs {
 public:
  ActionArgs() = default;
  static ActionArgs with_value(std::string value);

  ActionArgs& set(std::string key, std::string value);
  std::optional<std::string> text(std::string_view key) const;
  bool empty() const { return values_.empty(); }

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

using ActionEncoder = std::function<EncodedAction(const ActionArgs&)>;
using RiskFunction = std::function<RiskLevel(const ActionArgs&)>;

struct ActionParameter {
  std::string key = "value";
  std::string label;
  // Shown greyed in an empty field; when `is_default`, it is also the text an
  // empty invocation stands for in a client that offers defaults.
  std::string placeholder;
  bool is_default = false;
};

class ActionSpec {
 public:
  ActionSpec(std::string name, std::string label, ActionEncoder encoder);

  ActionSpec& with_parameter(std::string label, std::string placeholder);
  ActionSpec& with_default_parameter(std::string label, std::string default_text);
  ActionSpec& with_risk(RiskFunction risk);
  ActionSpec& destructive();

  const std::string& name() const { return name_; }
  const std::string& label() const { return label_; }
  const std::optional<ActionParameter>& parameter() const { return parameter_; }
  bool is_destructive() const { return destructive_; }
  // Destructive actions rate High unless a risk function says otherwise.
  RiskLevel risk(const ActionArgs& args) const;
  EncodedAction encode(const ActionArgs& args) const { return encoder_(args); }

 private:
  std::string name_;
  std::string label_;
  ActionEncoder encoder_;
  std::optional<ActionParameter> parameter_;
  RiskFunction risk_;
  bool destructive_ = false;
};

}  // namespace vesk_actions
