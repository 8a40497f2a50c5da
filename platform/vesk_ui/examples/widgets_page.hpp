#pragma once
// The gallery's widgets page: two text inputs (copy and paste between them),
// buttons with a tooltip, avatars, an image decoded by the image store, a
// context menu on a right click, and a floating card that can be dragged out
// of the window onto the desktop and back. Every clickable element is a hit
// region with a semantic name, so automation reaches the same controls as
// the pointer. What happens is printed to stdout, one line per event, so
// scripts driving the window can check it.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vesk_ui/accessibility.hpp"
#include "vesk_ui/context_menu.hpp"
#include "vesk_ui/floating.hpp"
#include "vesk_ui/image_store.hpp"
#include "vesk_ui/text_input.hpp"
#include "vesk_ui/tooltip.hpp"
#include "vesk_ui/widget.hpp"

namespace gallery {

class WidgetsPage {
 public:
  static constexpr const char* kCardId = "gallery-card:demo";

  WidgetsPage();

  // The page draws into `area`; `window` is the whole window (the card may
  // go anywhere in it).
  void place(vesk_ui::Rect area, vesk_ui::Rect window);
  void sync(const vesk_ui::SyncContext& ctx);
  void draw(vesk_ui::DrawContext& ctx);
  void draw_floating_surfaces(vesk_ui::DrawContext& ctx);
  bool handle_event(const vesk_ui::Event& event, double scale_factor);
  bool needs_animation_frame() const;
  std::vector<vesk_ui::floating_surface::Message> take_floating_requests();

  // The page's nodes (added under `root`) and its regions as synthetic nodes.
  void export_accessibility(vesk_ui::accessibility::Tree& tree) const;
  bool perform_semantic_action(std::string_view name,
                               const vesk_ui::accessibility::SemanticAction& action);

  // A still moment for screenshots: a selection in the composer, the menu
  // open, the card detached (its hand-off settled).
  void stage_review(vesk_ui::Instant at);
  // Waits for the sample image to be decoded (screenshots).
  bool wait_for_images();

  const std::string& status() const { return status_; }
  vesk_ui::TextInput& name() { return name_; }
  vesk_ui::TextInput& composer() { return composer_; }
  const vesk_ui::ContextMenu& menu() const { return menu_; }
  const vesk_ui::FloatingPlacement& card() const { return card_; }

 private:
  struct Region {
    vesk_ui::Rect rect;
    std::string name;
    std::string label;
  };

  void say(std::string line);
  void press(const std::string& control, vesk_ui::Point at);
  void open_menu(vesk_ui::Point at);
  vesk_ui::Rect card_rect() const;
  vesk_ui::Rect card_frame() const;
  void draw_card(vesk_ui::Painter& p, const vesk_ui::Theme& t, vesk_ui::Size size) const;
  const Region* region_at(vesk_ui::Point p) const;
  const Region* region_named(std::string_view name) const;
  vesk_ui::TextInput* input_named(std::string_view name);
  void focus(vesk_ui::TextInput* input);
  void report_edits();

  vesk_ui::Rect area_;
  vesk_ui::Rect window_;
  vesk_ui::Point window_origin_;
  vesk_ui::Instant now_{};
  vesk_ui::TextInput name_{false};
  vesk_ui::TextInput composer_{true};
  vesk_ui::ContextMenu menu_;
  vesk_ui::TooltipHost tooltips_;
  vesk_ui::FloatingPlacement card_;
  std::unique_ptr<vesk_ui::image_store::ImageStore> images_;
  std::size_t sample_bytes_ = 0;
  std::vector<Region> regions_;  // of the last frame, in drawing order
  std::optional<std::string> hovered_;
  std::vector<vesk_ui::floating_surface::Message> requests_;
  std::string status_ = "ready";
};

}  // namespace gallery
