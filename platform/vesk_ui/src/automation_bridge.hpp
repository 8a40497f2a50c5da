#pragma once
// The window's automation endpoint. Accessibility and semantic controls come
// from the Widget protocol, so every root widget answers them; resources,
// actions and search come from the widget's own automation host when it
// offers one. Requests are answered on the UI thread, between frames.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "vesk_ui/accessibility.hpp"

namespace vesk_ui {
class Widget;
}

namespace vesk_ui::detail {

class AutomationBridge {
 public:
  // Listens at $VESK_AUTOMATION_SOCKET, else at
  // $XDG_RUNTIME_DIR/<program>/automation.sock. Answers null (and says why
  // in the log) when there is no safe place for the socket, another instance
  // holds it, or the build has no action framework: the window works without.
  // `wake` runs on the endpoint's thread whenever a request waits.
  static std::unique_ptr<AutomationBridge> open(std::string_view program,
                                                std::function<void()> wake);
  ~AutomationBridge();
  AutomationBridge(const AutomationBridge&) = delete;
  AutomationBridge& operator=(const AutomationBridge&) = delete;

  // UI thread: answers the waiting requests against the widget and the tree
  // of its last frame. True when a request ran a control (draw again).
  bool serve(Widget& widget, const accessibility::Tree& last_frame);
  // Requests are waiting (serve stopped after a control to let a frame in).
  bool pending() const;
  const std::string& path() const;

  struct Impl;

 private:
  explicit AutomationBridge(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk_ui::detail
