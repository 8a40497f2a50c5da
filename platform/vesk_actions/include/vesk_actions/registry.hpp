#pragma once
// The registry maps an action kind to the decoder that turns payload bytes into
// something the executor can apply. The framework knows nothing of what a kind
// means; the host registers its kinds at start-up.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "vesk_actions/action.hpp"

namespace vesk_actions {

// What the executor applies actions to, seen from outside: the document engine
// sits behind this so that the framework depends on no particular engine.
class ActionTarget {
 public:
  virtual ~ActionTarget() = default;
  virtual std::vector<std::string> heads() const = 0;
  virtual std::string actor() const = 0;
  // Closes the writes made since the last commit into one change.
  virtual void commit(std::string_view message) = 0;
  // Drops uncommitted writes after a failed apply; engines without
  // transactions may leave this empty.
  virtual void rollback() {}
};

// A target that also lends its document, so that a decoded action can reach the
// engine's own interface. Decoders check the type with dynamic_cast.
template <typename Document>
class DocumentTarget : public ActionTarget {
 public:
  virtual Document& document() = 0;
};

class DecodedAction {
 public:
  virtual ~DecodedAction() = default;
  virtual std::string debug_text() const = 0;
  virtual base::Status apply(ActionTarget& target) const = 0;
};

using ActionDecoder =
    std::function<base::Result<std::unique_ptr<DecodedAction>>(std::string_view payload)>;

class ActionRegistry {
 public:
  // A kind registers once; a second registration is refused so that two
  // modules cannot silently fight over one kind.
  base::Status register_kind(std::string kind, ActionDecoder decoder);
  bool contains(std::string_view kind) const;
  std::vector<std::string> kinds() const;
  base::Result<std::unique_ptr<DecodedAction>> decode(const EncodedAction& action) const;

 private:
  std::map<std::string, ActionDecoder, std::less<>> decoders_;
};

}  // namespace vesk_actions
