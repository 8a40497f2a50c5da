// vesk-ui-gallery: the framework's example program. With no argument it
// opens a window; with --shot it renders one of its scenarios to PNG.

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "gallery_scene.hpp"
#include "vesk_ui/launch.hpp"
#include "vesk_ui/shot.hpp"
#include "vesk_ui/theme.hpp"

namespace {

constexpr vesk_ui::Size kDefaultSize{960, 640};

base::Status render_shot(const vesk_ui::launch::ShotRequest& req) {
  if (!req.output) return base::make_error("missing screenshot output");
  auto frame =
      VESK_TRY(gallery::render_scenario(req.name, req.size.value_or(kDefaultSize), req.scale));
  VESK_TRY_STATUS(frame.write_png(*req.output));
  std::printf("gallery: wrote shot to %s\n", req.output->c_str());
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  vesk_ui::launch::LaunchDescription desc;
  desc.app_id = "dev.vesk.gallery";
  desc.shot_names = gallery::shot_names();
  desc.hooks.app_factory = [] { return std::make_unique<gallery::GalleryWidget>(); };
  desc.hooks.shot_renderer = render_shot;
  desc.hooks.default_window_size = [] { return kDefaultSize; };
  desc.hooks.protocol_version = [] { return vesk_ui::launch::kProtocolVersion; };
  // The framework's own location; VESK_GALLERY_MEMORY=1 keeps it in memory.
  desc.hooks.open_document = [](std::string_view app_id, const vesk_ui::persist::OpenOptions& o) {
    vesk_ui::persist::OpenOptions options = o;
    if (const char* m = std::getenv("VESK_GALLERY_MEMORY"); m && *m == '1')
      options.in_memory = true;
    return vesk_ui::persist::open(app_id, options);
  };
  vesk_ui::launch::run_or_exit(std::move(desc), argc, argv);
}
