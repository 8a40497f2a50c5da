// Entry: installs the shared blob store, then hands the launch description
// to the UI framework, which owns the process from then on.

#include <memory>
#include <string>
#include <vector>

#include "actions/dispatch.hpp"
#include "app/config.hpp"
#include "app/local_identity.hpp"
#include "app/overview_widget.hpp"
#include "strata/blobstore.hpp"
#include "vesk_ui/app.hpp"
#include "vesk_ui/launch.hpp"
#include "vesk_ui/persist.hpp"

namespace {

constexpr const char* kAppId = "dev.vesk.app";

std::vector<std::string> shot_names() {
  return {"narrow",
          "history",
          "compact",
          "starter",
          "people",
          "thread-narrow",
          "collaboration",
          "context",
          "msgmenu",
          "attach",
          "attach-loading",
          "attach-error",
          "edit",
          "composer",
          "call",
          "share",
          "floating-call-attached",
          "floating-call",
          "floating-call-hover",
          "floating-call-returning",
          "floating-call-returned"};
}

}  // namespace

int main(int argc, char** argv) {
  auto store = std::make_shared<strata::FsBlobStore>(strata::FsBlobStore::default_root(),
                                                     33554432, 268435456, 8192, 16384);
  strata::blobstore::set_store(store);

  vesk_ui::launch::LaunchDescription desc;
  desc.app_id = kAppId;
  desc.shot_names = shot_names();
  desc.hooks.app_factory = []() -> std::unique_ptr<vesk_ui::Widget> {
    const auto env = chat::Environment::process();
    const auto dir = chat::data_directory(env);
    return std::make_unique<chat::OverviewWidget>(chat::load_local_identity(env),
                                                  dir ? dir->string() : "(none)");
  };
  desc.hooks.shot_renderer = [](const vesk_ui::launch::ShotRequest& request) -> base::Status {
    if (!request.output) return base::make_error("missing screenshot output");
    return base::make_error("the screenshot scenario \"" + request.name +
                            "\" needs the conversation views, which this build does not have yet");
  };
  desc.hooks.register_actions = [](vesk_ui::App& app) {
    if (app.has_action_registry()) (void)chat::register_chat_actions(app.action_registry_mut());
  };
  desc.hooks.default_window_size = [] { return vesk_ui::Size{1280, 800}; };
  desc.hooks.protocol_version = [] { return 1; };
  desc.hooks.open_document = [](std::string_view app_id,
                                const vesk_ui::persist::OpenOptions& options) {
    const auto path = chat::workspace_document_path(chat::Environment::process());
    if (path) return vesk_ui::persist::open_migrating(app_id, options, *path);
    return vesk_ui::persist::open(app_id, options);
  };
  desc.fullscreen = false;
  desc.borderless = false;
  desc.resizable = true;
  desc.high_dpi = true;
  vesk_ui::launch::run_or_exit(std::move(desc), argc, argv);
}
