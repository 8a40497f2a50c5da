#include "vesk_actions/action.hpp"

#include <cctype>
#include <utility>
#include <vector>

#include "detail.hpp"

namespace vesk_actions {

std::string_view operation_type_name(OperationType type) {
  switch (type) {
    case OperationType::View:
      return "View";
    case OperationType::Effect:
      return "Effect";
    case OperationType::Inspect:
      return "Inspect";
  }
  return "View";
}

std::optional<OperationType> operation_type_from_name(std::string_view name) {
  static constexpr OperationType kAll[] = {OperationType::View, OperationType::Effect,
                                           OperationType::Inspect};
  return detail::enum_from_name(name, kAll, operation_type_name);
}

base::Status enforce_operation_type(const EncodedAction& action, OperationType declared) {
  if (!action.operation_type) {
    return base::make_error("action of kind " + action.kind + " is not an operation");
  }
  if (*action.operation_type != declared) {
    return base::make_error("operation declared as " + std::string(operation_type_name(declared)) +
                            " was encoded as " +
                            std::string(operation_type_name(*action.operation_type)));
  }
  return {};
}

std::string humanize_identifier(std::string_view identifier) {
  auto is_upper = [](char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; };
  auto is_lower = [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; };
  auto is_digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  std::vector<std::string> words;
  std::string word;
  auto flush = [&] {
    if (!word.empty()) words.push_back(std::move(word));
    word.clear();
  };
  for (std::size_t i = 0; i < identifier.size(); ++i) {
    const char c = identifier[i];
    if (c == '_' || c == '-' || c == '.' || c == ' ' || c == ':') {
      flush();
      continue;
    }
    if (is_upper(c) && !word.empty()) {
      const char prev = identifier[i - 1];
      const bool next_lower = i + 1 < identifier.size() && is_lower(identifier[i + 1]);
      // "SetCategory" splits before C; "HTTPServer" splits before the S.
      if (is_lower(prev) || is_digit(prev) || (is_upper(prev) && next_lower)) flush();
    }
    word.push_back(c);
  }
  flush();
  std::string out;
  for (const auto& w : words) {
    if (!out.empty()) out.push_back(' ');
    for (char c : w) out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (!out.empty()) out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
  return out;
}

ActionArgs ActionArgs::with_value(std::string value) {
  ActionArgs args;
  args.set("value", std::move(value));
  return args;
}

ActionArgs& ActionArgs::set(std::string key, std::string value) {
  values_[std::move(key)] = std::move(value);
  return *this;
}

std::optional<std::string> ActionArgs::text(std::string_view key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

ActionSpec::ActionSpec(std::string name, std::string label, ActionEncoder encoder)
    : name_(std::move(name)), label_(std::move(label)), encoder_(std::move(encoder)) {}

ActionSpec& ActionSpec::with_parameter(std::string label, std::string placeholder) {
  parameter_ = ActionParameter{"value", std::move(label), std::move(placeholder), false};
  return *this;
}

ActionSpec& ActionSpec::with_default_parameter(std::string label, std::string default_text) {
  parameter_ = ActionParameter{"value", std::move(label), std::move(default_text), true};
  return *this;
}

ActionSpec& ActionSpec::with_risk(RiskFunction risk) {
  risk_ = std::move(risk);
  return *this;
}

ActionSpec& ActionSpec::destructive() {
  destructive_ = true;
  return *this;
}

RiskLevel ActionSpec::risk(const ActionArgs& args) const {
  if (risk_) return risk_(args);
  return destructive_ ? RiskLevel::High : RiskLevel::Low;
}

}  // namespace vesk_actions
