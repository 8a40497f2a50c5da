#include "automation_bridge.hpp"

#include <cstdlib>
#include <exception>
#include <utility>

#include "base/log.hpp"
#include "vesk_ui/widget.hpp"

#if VESK_UI_HAS_ACTIONS
#include <nlohmann/json.hpp>

#include "vesk_actions/automation.hpp"
#include "vesk_actions/automation_endpoint.hpp"
#endif

namespace vesk_ui::detail {

#if VESK_UI_HAS_ACTIONS

namespace {

accessibility::Action to_action(vesk_actions::SemanticAction a) {
  switch (a) {
    case vesk_actions::SemanticAction::Focus:
      return accessibility::Action::Focus;
    case vesk_actions::SemanticAction::SetText:
      return accessibility::Action::SetText;
    case vesk_actions::SemanticAction::Activate:
      break;
  }
  return accessibility::Action::Activate;
}

// One request's view of the window: the widget's own host where it has one,
// the Widget protocol for the tree and the controls.
class FrameHost final : public vesk_actions::AutomationHost {
 public:
  FrameHost(Widget& widget, const accessibility::Tree& tree)
      : widget_(widget), own_(widget.automation_host()), tree_(tree) {}

  std::vector<vesk_actions::Resource> resource_roots() override {
    return own_ ? own_->resource_roots() : std::vector<vesk_actions::Resource>{};
  }
  std::optional<vesk_actions::Resource> resolve_resource(std::string_view address) override {
    return own_ ? own_->resolve_resource(address) : std::nullopt;
  }
  base::Status perform(const vesk_actions::EncodedAction& action) override {
    if (!own_) return base::make_error("this application offers no actions");
    return own_->perform(action);
  }
  vesk_actions::ControlOutcome run_control(
      const vesk_actions::ControlInvocation& invocation) override {
    const accessibility::SemanticAction action{to_action(invocation.action), invocation.text};
    bool handled = false;
    try {
      handled = widget_.perform_semantic_action(invocation.name, action);
    } catch (const std::exception& ex) {
      base::log::error("vesk_ui", "the control {} failed: {}", invocation.name, ex.what());
    }
    if (handled) ran_control = true;
    return handled ? vesk_actions::ControlOutcome::Handled
                   : vesk_actions::ControlOutcome::NotHandled;
  }
  base::Result<vesk_actions::SearchPage> search(std::string_view query, std::string_view cursor,
                                                std::size_t limit) override {
    if (!own_) return base::make_error("this application offers no search");
    return own_->search(query, cursor, limit);
  }
  nlohmann::json accessibility_tree() override {
    return nlohmann::json::parse(accessibility::to_json(tree_));
  }

  bool ran_control = false;

 private:
  Widget& widget_;
  vesk_actions::AutomationHost* own_;
  const accessibility::Tree& tree_;
};

}  // namespace

struct AutomationBridge::Impl {
  std::unique_ptr<vesk_actions::AutomationEndpoint> endpoint;
};

std::unique_ptr<AutomationBridge> AutomationBridge::open(std::string_view program,
                                                         std::function<void()> wake) {
  std::string path;
  if (const char* p = std::getenv("VESK_AUTOMATION_SOCKET"); p && *p) {
    path = p;
  } else {
    auto fallback = vesk_actions::default_socket_path(program);
    if (!fallback.ok()) {
      base::log::info("vesk_ui", "automation is off: {}", fallback.error());
      return nullptr;
    }
    path = std::move(fallback).value();
  }
  vesk_actions::EndpointOptions options;
  options.on_request = std::move(wake);
  auto endpoint = vesk_actions::AutomationEndpoint::listen(path, options);
  if (!endpoint.ok()) {
    base::log::warn("vesk_ui", "automation is off: {}", endpoint.error());
    return nullptr;
  }
  base::log::info("vesk_ui", "automation endpoint at {}", path);
  auto impl = std::make_unique<Impl>();
  impl->endpoint = std::move(endpoint).value();
  return std::unique_ptr<AutomationBridge>(new AutomationBridge(std::move(impl)));
}

bool AutomationBridge::serve(Widget& widget, const accessibility::Tree& last_frame) {
  FrameHost host(widget, last_frame);
  // One at a time, stopping after a control ran: a client that runs a
  // control and then asks for the tree must see the frame drawn after it.
  while (!host.ran_control && impl_->endpoint->serve(host, 1) > 0) {
  }
  return host.ran_control;
}

bool AutomationBridge::pending() const {
  return impl_->endpoint->queued() > 0;
}

const std::string& AutomationBridge::path() const {
  return impl_->endpoint->path();
}

#else

struct AutomationBridge::Impl {
  std::string path;
};

std::unique_ptr<AutomationBridge> AutomationBridge::open(std::string_view, std::function<void()>) {
  base::log::info("vesk_ui", "automation is off: this build has no action framework");
  return nullptr;
}

bool AutomationBridge::serve(Widget&, const accessibility::Tree&) {
  return false;
}

bool AutomationBridge::pending() const {
  return false;
}

const std::string& AutomationBridge::path() const {
  return impl_->path;
}

#endif

AutomationBridge::AutomationBridge(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AutomationBridge::~AutomationBridge() = default;

}  // namespace vesk_ui::detail
