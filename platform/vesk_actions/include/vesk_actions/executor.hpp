#pragma once
// The executor: decode an encoded action through the registry and hand it to a
// transport, which applies it and passes it on for replication. One dispatched
// action is one committed change of the target.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "vesk_actions/action.hpp"
#include "vesk_actions/registry.hpp"

namespace vesk_actions {

enum class ActionErrorKind : std::uint8_t { UnknownKind, Decode, Apply, Transport };

struct ActionError {
  ActionErrorKind kind = ActionErrorKind::Apply;
  std::string message;

  // The form logs and clients show: "<what failed>: <message>".
  std::string display() const;
};

// Where an action comes from and which document state it was made on.
struct ActionContext {
  std::vector<std::string> heads;
  std::string actor;
  std::string origin = "local";

  // A copy that records the document heads and the local actor.
  ActionContext enriched_by(std::vector<std::string> new_heads, std::string new_actor) const;
};

class ActionTransport {
 public:
  virtual ~ActionTransport() = default;
  virtual base::Status replicate(const EncodedAction& encoded, const DecodedAction& action,
                                 const ActionContext& context) = 0;
};

// Applies to the local target and commits. Peers learn of the change through
// the document's own sync; `forward` lets a host also pass the encoded action
// on (for example to an audit sink) once it has been applied.
class LocalTransport final : public ActionTransport {
 public:
  using Forward = std::function<void(const EncodedAction&, const ActionContext&)>;

  explicit LocalTransport(ActionTarget& target, Forward forward = {});
  base::Status replicate(const EncodedAction& encoded, const DecodedAction& action,
                         const ActionContext& context) override;

 private:
  ActionTarget& target_;
  Forward forward_;
};

struct DispatchReceipt {
  std::string debug_text;
};

struct DispatchResult {
  std::optional<DispatchReceipt> receipt;
  std::optional<ActionError> error;
  bool ok() const { return receipt.has_value(); }
};

DispatchResult dispatch_by(const ActionRegistry& registry, const EncodedAction& action,
                           ActionTransport& transport);
DispatchResult dispatch_by_with_context(const ActionRegistry& registry, const EncodedAction& action,
                                        ActionTransport& transport, const ActionContext& context);

}  // namespace vesk_actions
