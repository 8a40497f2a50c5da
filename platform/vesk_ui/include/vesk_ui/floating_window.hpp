#pragma once
// DesktopHost: shows detached floating surfaces as borderless, always-on-top
// windows of their own, lets the user drag them about the desktop, and
// answers with floating-surface messages (MoveTo while dragging, Reattach
// when dropped onto the main window). Without a display (screenshots,
// tests) present() draws the surface into the main frame instead, at its
// rectangle seen from the window, so the PNG shows it.
//
// The frame loop offers every SDL event to handle_sdl_event first; events of
// the surface windows stop there.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vesk_ui/floating.hpp"
#include "vesk_ui/geometry.hpp"

struct SDL_Window;
union SDL_Event;

namespace vesk_ui::floating_surface {

using DrawSurface = std::function<void(cairo_t* cr, Size size)>;

class DesktopHost {
 public:
  // main: the application's window, or null without a display.
  explicit DesktopHost(SDL_Window* main);
  ~DesktopHost();
  DesktopHost(const DesktopHost&) = delete;
  DesktopHost& operator=(const DesktopHost&) = delete;

  bool has_display() const { return main_ != nullptr; }
  // The main window's top-left corner on the desktop (0,0 without display).
  Point window_origin() const;
  Rect window_rect_on_desktop() const;

  // Shows the surface `id` at desktop_rect, painted by draw. Without a
  // display, draws into `frame` (the main window's cairo context).
  void present(const std::string& id, const std::string& title, Rect desktop_rect,
               const DrawSurface& draw, cairo_t* frame);
  void hide(const std::string& id);
  bool is_shown(const std::string& id) const;

  // The frame loop brackets each frame: a surface not presented in between
  // is hidden at end_frame, so a view that stops drawing it needs no call.
  void begin_frame();
  void end_frame();

  // A view's request (Widget::take_floating_requests). Detach and Reattach
  // are granted and echoed back as messages; MoveTo moves a shown surface.
  void request(const Message& m);

  // Answers whether the event belonged to a surface window (and was used).
  bool handle_sdl_event(const SDL_Event& event);
  std::vector<Message> take_messages();

 private:
  struct Surface;
  Surface* find(const std::string& id) const;
  Surface* find(unsigned window_id) const;

  SDL_Window* main_;
  std::vector<std::unique_ptr<Surface>> surfaces_;
  std::vector<Message> messages_;
};

}  // namespace vesk_ui::floating_surface
