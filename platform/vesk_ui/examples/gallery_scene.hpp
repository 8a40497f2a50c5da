#pragma once
// The gallery: one widget that draws every primitive, surface, colour token
// and text style of the framework. It is the example program's window, the
// golden-image tests' subject and a quick visual check after changes.

#include <string>
#include <vector>

#include "vesk_ui/i18n.hpp"
#include "vesk_ui/transition.hpp"
#include "vesk_ui/widget.hpp"

namespace gallery {

class GalleryWidget : public vesk_ui::Widget {
 public:
  GalleryWidget();

  std::string_view type_name() const override { return "gallery::GalleryWidget"; }
  void sync(vesk_ui::SyncContext& ctx) override;
  vesk_ui::LayoutNode build_layout(const vesk_ui::LayoutContext& ctx) override;
  void apply_layout(const vesk_ui::LayoutResult& layout) override;
  void draw(vesk_ui::DrawContext& ctx) override;
  void draw_floating_surfaces(vesk_ui::DrawContext& ctx) override;
  bool handle_event(const vesk_ui::Event& event, double scale_factor) override;
  bool needs_animation_frame() const override;
  vesk_ui::Rect bounds() const override { return root_; }

  // State the shots and tests set directly.
  void set_panel_open(bool open, const vesk_ui::Theme& theme, vesk_ui::Instant at);
  void set_hovered(int card) { hovered_ = card; }
  const std::string& typed() const { return typed_; }
  int frames() const { return frames_; }

 private:
  vesk_ui::Rect root_;
  vesk_ui::Rect header_;
  vesk_ui::Rect body_;
  vesk_ui::Rect toggle_;  // pressing it opens or closes the floating panel
  std::vector<vesk_ui::Rect> cards_;
  vesk_ui::Transition panel_;
  vesk_ui::Instant now_{};
  int hovered_ = -1;
  std::string typed_;
  std::string last_key_;
  int frames_ = 0;
  vesk_ui::EmbeddedCatalog catalog_;
  bool pending_toggle_ = false;
};

// The scenario names the example program offers in screenshot mode.
const std::vector<std::string>& shot_names();

}  // namespace gallery
