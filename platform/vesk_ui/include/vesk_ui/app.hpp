#pragma once
// App: the application host as the launch hooks see it.

#include <memory>
#include <string>

namespace vesk_actions {
class ActionRegistry;
}

namespace vesk_ui {

namespace launch {
struct LaunchDescription;
}

class App {
 public:
  explicit App(const launch::LaunchDescription& desc);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  const launch::LaunchDescription& description() const { return desc_; }
  const std::string& app_id() const;

  // The registry of action kinds. Only present in builds that carry the
  // action framework; has_action_registry() says whether it does.
  bool has_action_registry() const;
  vesk_actions::ActionRegistry& action_registry_mut();

 private:
  const launch::LaunchDescription& desc_;
  struct Registry;
  std::unique_ptr<Registry> registry_;
};

}  // namespace vesk_ui
