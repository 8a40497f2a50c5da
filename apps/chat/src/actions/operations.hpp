#pragma once
// Handling chat operations: navigation changes the navigation state at once;
// an attachment import is handed to the importer. Every check runs before
// anything changes, so a failed operation leaves the state as it was.

#include <functional>
#include <optional>
#include <string>

#include "actions/dispatch.hpp"
#include "actions/resources.hpp"
#include "actions/search_index.hpp"
#include "vesk_actions/action.hpp"
#include "vesk_actions/automation.hpp"

namespace chat {

// What is shown. The application object owns it; operations and views change it.
struct NavigationState {
  std::string context_workspace;       // the rail tile's workspace
  std::string conversation_workspace;  // the workspace whose conversation is shown
  std::string open_channel;            // empty: none
  bool inbox_shown = false;
  std::optional<std::string> open_thread;  // root message id, in the open channel
  bool thread_focus = false;
  std::optional<std::string> edit_target;
  std::optional<std::string> scroll_target;  // pending: bring this message into view
  bool side_panel_shown = false;             // people or thread

  friend bool operator==(const NavigationState&, const NavigationState&) = default;
};

enum class OperationOutcome { Handled, NotHandled, Failed };

struct OperationResult {
  OperationOutcome outcome = OperationOutcome::NotHandled;
  std::string error;  // the failure text when Failed

  static OperationResult handled() { return {OperationOutcome::Handled, {}}; }
  static OperationResult not_handled() { return {OperationOutcome::NotHandled, {}}; }
  static OperationResult failed(std::string text) {
    return {OperationOutcome::Failed, std::move(text)};
  }
  friend bool operator==(const OperationResult&, const OperationResult&) = default;
};

// Starts importing the file at `path` into `channel`; false when not accepted.
using AttachmentImport = std::function<bool(const std::string& channel, const std::string& path)>;

OperationResult handle_chat_operation(const vesk_actions::EncodedAction& encoded,
                                      vesk_actions::OperationType type, const ChatReader& reader,
                                      NavigationState& navigation, const AttachmentImport& import);

// What the chat offers to automation clients: the same resources, actions,
// operations, controls and search as the views use. The application fills in
// the parts it owns (controls, accessibility) when it is built.
class ChatAutomationHost final : public vesk_actions::AutomationHost {
 public:
  ChatAutomationHost(const ChatReader& reader, ChatDispatcher& dispatcher,
                     NavigationState& navigation, ChatSearchIndex& search, std::string local_user);

  AttachmentImport import;
  std::function<vesk_actions::ControlOutcome(const vesk_actions::ControlInvocation&)> controls;
  std::function<nlohmann::json()> accessibility;

  std::vector<vesk_actions::Resource> resource_roots() override;
  std::optional<vesk_actions::Resource> resolve_resource(std::string_view address) override;
  // Chat actions are checked by decoding before they are dispatched, so that
  // a client learns of a malformed payload; operations answer their texts.
  base::Status perform(const vesk_actions::EncodedAction& action) override;
  vesk_actions::ControlOutcome run_control(
      const vesk_actions::ControlInvocation& invocation) override;
  base::Result<vesk_actions::SearchPage> search(std::string_view query, std::string_view cursor,
                                                std::size_t limit) override;
  nlohmann::json accessibility_tree() override;

 private:
  ResourceContext context() const;

  const ChatReader& reader_;
  ChatDispatcher& dispatcher_;
  NavigationState& navigation_;
  ChatSearchIndex& search_;
  std::string local_user_;
};

}  // namespace chat
