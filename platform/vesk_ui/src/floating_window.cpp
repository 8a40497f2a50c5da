#include "vesk_ui/floating_window.hpp"

#include <SDL.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace vesk_ui::floating_surface {

struct DesktopHost::Surface {
  std::string id;
  SDL_Window* window = nullptr;
  Rect rect;                  // desktop coordinates
  std::optional<Point> grab;  // pointer minus window origin while dragging
  bool presented = true;      // in the current frame
  ~Surface() {
    if (window != nullptr) SDL_DestroyWindow(window);
  }
};

DesktopHost::DesktopHost(SDL_Window* main) : main_(main) {}
DesktopHost::~DesktopHost() = default;

Point DesktopHost::window_origin() const {
  if (main_ == nullptr) return {};
  int x = 0;
  int y = 0;
  SDL_GetWindowPosition(main_, &x, &y);
  return Point{static_cast<double>(x), static_cast<double>(y)};
}

Rect DesktopHost::window_rect_on_desktop() const {
  if (main_ == nullptr) return {};
  int w = 0;
  int h = 0;
  SDL_GetWindowSize(main_, &w, &h);
  return Rect::from_origin_size(window_origin(),
                                Size{static_cast<double>(w), static_cast<double>(h)});
}

DesktopHost::Surface* DesktopHost::find(const std::string& id) const {
  for (const auto& s : surfaces_) {
    if (s->id == id) return s.get();
  }
  return nullptr;
}

DesktopHost::Surface* DesktopHost::find(unsigned window_id) const {
  for (const auto& s : surfaces_) {
    if (s->window != nullptr && SDL_GetWindowID(s->window) == window_id) return s.get();
  }
  return nullptr;
}

void DesktopHost::present(const std::string& id, const std::string& title, Rect desktop_rect,
                          const DrawSurface& draw, cairo_t* frame) {
  const Size size = desktop_rect.size();
  if (main_ == nullptr) {
    if (frame == nullptr) return;
    cairo_save(frame);
    cairo_translate(frame, desktop_rect.x0, desktop_rect.y0);
    draw(frame, size);
    cairo_restore(frame);
    return;
  }
  Surface* s = find(id);
  if (s == nullptr) {
    surfaces_.push_back(std::make_unique<Surface>());
    s = surfaces_.back().get();
    s->id = id;
  }
  s->presented = true;
  const int w = std::max(1, static_cast<int>(std::lround(size.w)));
  const int h = std::max(1, static_cast<int>(std::lround(size.h)));
  if (s->window == nullptr) {
    s->window = SDL_CreateWindow(
        title.c_str(), static_cast<int>(std::lround(desktop_rect.x0)),
        static_cast<int>(std::lround(desktop_rect.y0)), w, h,
        SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_SKIP_TASKBAR);
    if (s->window == nullptr) return;
  }
  if (!s->grab) {
    // While the user drags, the window follows the pointer, not the model.
    SDL_SetWindowPosition(s->window, static_cast<int>(std::lround(desktop_rect.x0)),
                          static_cast<int>(std::lround(desktop_rect.y0)));
    s->rect = desktop_rect;
  }
  int cw = 0;
  int ch = 0;
  SDL_GetWindowSize(s->window, &cw, &ch);
  if (cw != w || ch != h) SDL_SetWindowSize(s->window, w, h);
  SDL_Surface* target = SDL_GetWindowSurface(s->window);
  if (target == nullptr) return;
  SDL_LockSurface(target);
  cairo_surface_t* cs =
      cairo_image_surface_create_for_data(static_cast<unsigned char*>(target->pixels),
                                          CAIRO_FORMAT_RGB24, target->w, target->h, target->pitch);
  cairo_t* cr = cairo_create(cs);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  draw(cr, Size{static_cast<double>(target->w), static_cast<double>(target->h)});
  cairo_destroy(cr);
  cairo_surface_destroy(cs);
  SDL_UnlockSurface(target);
  SDL_UpdateWindowSurface(s->window);
}

void DesktopHost::hide(const std::string& id) {
  const auto removed = std::erase_if(surfaces_, [&](const auto& s) { return s->id == id; });
  // The keyboard focus may have been on the surface window; without a
  // window manager it would go nowhere, so hand it back to the main window.
  if (removed > 0 && main_ != nullptr) {
    SDL_RaiseWindow(main_);
    SDL_SetWindowInputFocus(main_);
  }
}

bool DesktopHost::is_shown(const std::string& id) const {
  const Surface* s = find(id);
  return s != nullptr && s->window != nullptr;
}

void DesktopHost::begin_frame() {
  for (auto& s : surfaces_) s->presented = false;
}

void DesktopHost::end_frame() {
  std::vector<std::string> gone;
  for (const auto& s : surfaces_) {
    // A surface being dragged belongs to the pointer until it is dropped.
    if (!s->presented && !s->grab) gone.push_back(s->id);
  }
  for (const auto& id : gone) hide(id);
}

void DesktopHost::request(const Message& m) {
  if (const auto* move = std::get_if<MoveTo>(&m)) {
    Surface* s = find(move->surface);
    if (s == nullptr || s->window == nullptr || s->grab) return;
    s->rect = move->rect;
    SDL_SetWindowPosition(s->window, static_cast<int>(std::lround(s->rect.x0)),
                          static_cast<int>(std::lround(s->rect.y0)));
  }
  messages_.push_back(m);
}

bool DesktopHost::handle_sdl_event(const SDL_Event& e) {
  unsigned window_id = 0;
  switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      window_id = e.button.windowID;
      break;
    case SDL_MOUSEMOTION:
      window_id = e.motion.windowID;
      break;
    case SDL_WINDOWEVENT:
      window_id = e.window.windowID;
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      window_id = e.key.windowID;
      break;
    default:
      return false;
  }
  Surface* s = find(window_id);
  if (s == nullptr) return false;
  int gx = 0;
  int gy = 0;
  SDL_GetGlobalMouseState(&gx, &gy);
  const Point pointer{static_cast<double>(gx), static_cast<double>(gy)};
  if (e.type == SDL_MOUSEBUTTONDOWN && e.button.button == SDL_BUTTON_LEFT) {
    s->grab = Point{pointer.x - s->rect.x0, pointer.y - s->rect.y0};
  } else if (e.type == SDL_MOUSEMOTION && s->grab) {
    s->rect = Rect::from_origin_size(Point{pointer.x - s->grab->x, pointer.y - s->grab->y},
                                     s->rect.size());
    SDL_SetWindowPosition(s->window, static_cast<int>(std::lround(s->rect.x0)),
                          static_cast<int>(std::lround(s->rect.y0)));
    messages_.push_back(MoveTo{s->id, s->rect});
  } else if (e.type == SDL_MOUSEBUTTONUP && e.button.button == SDL_BUTTON_LEFT && s->grab) {
    s->grab.reset();
    if (window_rect_on_desktop().contains(pointer)) {
      const Point o = window_origin();
      messages_.push_back(Reattach{s->id, s->rect.translated(-o.x, -o.y)});
    } else {
      messages_.push_back(MoveTo{s->id, s->rect});
    }
  }
  return true;
}

std::vector<Message> DesktopHost::take_messages() {
  return std::exchange(messages_, {});
}

}  // namespace vesk_ui::floating_surface
