#include "actions/operations.hpp"

#include <algorithm>

#include "actions/chat_action_format.hpp"

namespace chat {
namespace {

namespace co = chat_operation;
using vesk_actions::OperationType;

void clear_conversation_state(NavigationState& nav) {
  nav.open_thread.reset();
  nav.thread_focus = false;
  nav.edit_target.reset();
  nav.scroll_target.reset();
}

const Channel* channel_in(const std::vector<Channel>& channels, const std::string& workspace,
                          const std::string& id) {
  for (const auto& c : channels) {
    if (c.id == id && c.workspace == workspace) return &c;
  }
  return nullptr;
}

OperationResult navigate(const ChatOperation& op, const ChatReader& reader, NavigationState& nav) {
  if (const auto* o = op.get_if<co::OpenWorkspace>()) {
    const auto workspaces = reader.workspaces();
    const bool exists = std::any_of(workspaces.begin(), workspaces.end(),
                                    [&](const Workspace& w) { return w.id == o->workspace; });
    if (!exists) return OperationResult::failed("workspace no longer exists");
    nav.conversation_workspace = o->workspace;
    nav.open_channel.clear();
    clear_conversation_state(nav);
    return OperationResult::handled();
  }
  if (const auto* o = op.get_if<co::OpenChannel>()) {
    if (!channel_in(reader.channels(), o->workspace, o->channel)) {
      return OperationResult::failed("conversation no longer exists");
    }
    nav.conversation_workspace = o->workspace;
    nav.open_channel = o->channel;
    clear_conversation_state(nav);
    return OperationResult::handled();
  }
  if (const auto* o = op.get_if<co::OpenCategory>()) {
    const auto categories = reader.categories();
    const bool exists = std::any_of(categories.begin(), categories.end(), [&](const Category& c) {
      return c.id == o->category && c.workspace == o->workspace;
    });
    if (!exists) return OperationResult::failed("category no longer exists");
    nav.conversation_workspace = o->workspace;
    std::vector<Channel> held;
    for (const auto& c : reader.channels()) {
      if (c.category == o->category && c.workspace == o->workspace) held.push_back(c);
    }
    std::stable_sort(held.begin(), held.end(),
                     [](const Channel& a, const Channel& b) { return a.order < b.order; });
    if (!held.empty()) nav.open_channel = held.front().id;
    clear_conversation_state(nav);
    return OperationResult::handled();
  }
  if (const auto* o = op.get_if<co::RevealMessage>()) {
    if (!channel_in(reader.channels(), o->workspace, o->channel)) {
      return OperationResult::failed("conversation no longer exists");
    }
    const auto messages = reader.messages(o->channel);
    const bool held = std::any_of(messages.begin(), messages.end(),
                                  [&](const Message& m) { return m.id == o->message; });
    if (!held) return OperationResult::failed("message no longer exists");
    // A thread belongs to the open channel; moving elsewhere without a
    // thread to show must not leave the old one open.
    if (!o->parent && nav.open_channel != o->channel) {
      nav.open_thread.reset();
      nav.thread_focus = false;
    }
    nav.conversation_workspace = o->workspace;
    nav.open_channel = o->channel;
    if (o->parent) {
      nav.open_thread = *o->parent;
      nav.side_panel_shown = true;
    }
    nav.scroll_target = o->message;
    return OperationResult::handled();
  }
  if (const auto* o = op.get_if<co::OpenPerson>()) {
    const auto people = reader.people();
    const bool exists =
        std::any_of(people.begin(), people.end(), [&](const Person& p) { return p.id == o->user; });
    if (!exists) return OperationResult::failed("person no longer exists");
    nav.open_thread.reset();
    nav.thread_focus = false;
    nav.side_panel_shown = true;
    return OperationResult::handled();
  }
  return OperationResult::not_handled();
}

}  // namespace

OperationResult handle_chat_operation(const vesk_actions::EncodedAction& encoded,
                                      OperationType type, const ChatReader& reader,
                                      NavigationState& navigation, const AttachmentImport& import) {
  if (encoded.kind != kChatOperationKind) return OperationResult::not_handled();
  auto decoded = decode_chat_operation(encoded.payload);
  if (!decoded.ok()) return OperationResult::failed(decoded.error());
  const ChatOperation& op = decoded.value();

  if (const auto* imp = op.get_if<co::ImportAttachment>()) {
    if (type != OperationType::Effect) {
      return OperationResult::failed("attachment import requires an Effect operation");
    }
    if (imp->path.empty()) return OperationResult::failed("attachment path is empty");
    const auto channels = reader.channels();
    const bool exists = std::any_of(channels.begin(), channels.end(),
                                    [&](const Channel& c) { return c.id == imp->channel; });
    if (!exists) return OperationResult::failed("conversation no longer exists");
    if (!import || !import(imp->channel, imp->path)) {
      return OperationResult::failed("attachment import was not accepted");
    }
    return OperationResult::handled();
  }
  if (type == OperationType::Inspect) return OperationResult::not_handled();
  if (type == OperationType::Effect) {
    return OperationResult::failed("Chat navigation requires a View operation");
  }
  return navigate(op, reader, navigation);
}

ChatAutomationHost::ChatAutomationHost(const ChatReader& reader, ChatDispatcher& dispatcher,
                                       NavigationState& navigation, ChatSearchIndex& search,
                                       std::string local_user)
    : reader_(reader),
      dispatcher_(dispatcher),
      navigation_(navigation),
      search_(search),
      local_user_(std::move(local_user)) {}

ResourceContext ChatAutomationHost::context() const {
  return ResourceContext{reader_, local_user_, navigation_.conversation_workspace, {}, {}};
}

std::vector<vesk_actions::Resource> ChatAutomationHost::resource_roots() {
  return chat::resource_roots(context());
}

std::optional<vesk_actions::Resource> ChatAutomationHost::resolve_resource(
    std::string_view address) {
  return resolve_address(context(), address);
}

base::Status ChatAutomationHost::perform(const vesk_actions::EncodedAction& action) {
  if (action.kind == kChatActionKind) {
    auto decoded = decode_chat_action(action.payload);
    if (!decoded.ok()) return base::make_error(decoded.error());
    dispatcher_.dispatch(decoded.value());
    return {};
  }
  const auto type = action.operation_type.value_or(OperationType::View);
  const auto result = handle_chat_operation(action, type, reader_, navigation_, import);
  switch (result.outcome) {
    case OperationOutcome::Handled:
      return {};
    case OperationOutcome::Failed:
      return base::make_error(result.error);
    case OperationOutcome::NotHandled:
      break;
  }
  return base::make_error("no handler took the action of kind " + action.kind);
}

vesk_actions::ControlOutcome ChatAutomationHost::run_control(
    const vesk_actions::ControlInvocation& invocation) {
  return controls ? controls(invocation) : vesk_actions::ControlOutcome::NotHandled;
}

base::Result<vesk_actions::SearchPage> ChatAutomationHost::search(std::string_view query,
                                                                  std::string_view cursor,
                                                                  std::size_t limit) {
  return search_.query_page(query, cursor, limit);
}

nlohmann::json ChatAutomationHost::accessibility_tree() {
  if (accessibility) return accessibility();
  return nlohmann::json{{"label", "Chat"}, {"children", nlohmann::json::array()}};
}

}  // namespace chat
