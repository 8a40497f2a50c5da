#pragma once
// The window on the desktop's accessibility bus (AT-SPI), so screen readers
// and other assistive technology see the same tree and reach the same
// controls as automation. ATK objects mirror each frame's tree; the
// at-spi2-atk bridge publishes them. All of ATK lives on one thread of its
// own running GLib's main context: the UI thread only hands it snapshots and
// collects the actions it was asked for, and never waits on the bus.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vesk_ui/accessibility.hpp"
#include "vesk_ui/geometry.hpp"

namespace vesk_ui::detail {

struct AccessibleRequest {
  std::string name;  // the control's semantic name
  accessibility::SemanticAction action;
};

class AtspiBridge {
 public:
  // Starts when the desktop has a session bus (or names the accessibility
  // bus itself) and NO_AT_BRIDGE is not set; null otherwise. `wake` runs on
  // the bridge's thread when a request waits for the UI thread.
  static std::unique_ptr<AtspiBridge> start(std::string app_name, std::function<void()> wake);
  ~AtspiBridge();
  AtspiBridge(const AtspiBridge&) = delete;
  AtspiBridge& operator=(const AtspiBridge&) = delete;

  // UI thread: the tree of the frame just drawn and where the window's
  // top-left corner is on the desktop. An unchanged tree costs a comparison.
  void publish(const accessibility::Tree& tree, Point window_origin);
  // UI thread: what assistive technology asked for since the last call.
  std::vector<AccessibleRequest> take_requests();

  struct Impl;

 private:
  explicit AtspiBridge(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk_ui::detail
