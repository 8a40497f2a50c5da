#pragma once
// The gallery: one widget that draws every primitive, surface, colour token
// and text style of the framework. It is the example program's window, the
// golden-image tests' subject and a quick visual check after changes.

#include <memory>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "vesk_ui/i18n.hpp"
#include "vesk_ui/shot.hpp"
#include "vesk_ui/transition.hpp"
#include "vesk_ui/widget.hpp"
#include "widgets_page.hpp"

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
  vesk_ui::accessibility::Tree accessibility() const override;
  std::optional<vesk_ui::Rect> synthetic_accessibility_rect(std::size_t index) const override;
  bool perform_semantic_action(std::string_view name,
                               const vesk_ui::accessibility::SemanticAction& action) override;
  std::vector<vesk_ui::floating_surface::Message> take_floating_requests() override;

  // State the shots and tests set directly.
  void set_panel_open(bool open, const vesk_ui::Theme& theme, vesk_ui::Instant at);
  void set_hovered(int card) { hovered_ = card; }
  const std::string& typed() const { return typed_; }
  // The widgets page instead of the primitives.
  void show_widgets(bool on) { widgets_shown_ = on; }
  bool widgets_shown() const { return widgets_shown_; }
  WidgetsPage& widgets() { return widgets_; }
  int frames() const { return frames_; }

 private:
  vesk_ui::Rect root_;
  vesk_ui::Rect header_;
  vesk_ui::Rect body_;
  vesk_ui::Rect toggle_;    // pressing it opens or closes the floating panel
  vesk_ui::Rect page_tab_;  // switches between the primitives and the widgets
  std::vector<vesk_ui::Rect> cards_;
  vesk_ui::Transition panel_;
  vesk_ui::Instant now_{};
  int hovered_ = -1;
  std::string typed_;
  std::string last_key_;
  int frames_ = 0;
  vesk_ui::EmbeddedCatalog catalog_;
  bool pending_toggle_ = false;
  std::string document_line_;
  WidgetsPage widgets_;
  bool widgets_shown_ = false;
};

// The scenario names the example program offers in screenshot mode.
const std::vector<std::string>& shot_names();

// Renders one scenario into a fresh frame of `size` at `scale`, as the
// example program's --shot does (the golden tests compare exactly this).
base::Result<vesk_ui::ShotFrame> render_scenario(
    const std::string& name, vesk_ui::Size size, double scale,
    std::shared_ptr<vesk_ui::TextRenderer> text = nullptr);

}  // namespace gallery
