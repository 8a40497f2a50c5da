#include "vesk_ui/app.hpp"

#include <cstdio>
#include <cstdlib>

#include "vesk_ui/launch.hpp"

#if VESK_UI_HAS_ACTIONS
#include "vesk_actions/registry.hpp"
#endif

namespace vesk_ui {

struct App::Registry {
#if VESK_UI_HAS_ACTIONS
  vesk_actions::ActionRegistry registry;
#endif
};

App::App(const launch::LaunchDescription& desc)
    : desc_(desc), registry_(std::make_unique<Registry>()) {}

App::~App() = default;

const std::string& App::app_id() const {
  return desc_.app_id;
}

bool App::has_action_registry() const {
#if VESK_UI_HAS_ACTIONS
  return true;
#else
  return false;
#endif
}

vesk_actions::ActionRegistry& App::action_registry_mut() {
#if VESK_UI_HAS_ACTIONS
  return registry_->registry;
#else
  // Reaching here is a build mistake, not a user error: the application asked
  // for actions in a build without the action framework.
  std::fputs("vesk_ui: this build has no action framework\n", stderr);
  std::abort();
#endif
}

}  // namespace vesk_ui
