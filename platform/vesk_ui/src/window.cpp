// The window: SDL2 for the window and input, Cairo into a streaming texture
// for the pixels. The loop sleeps in SDL_WaitEvent whenever the widget needs
// no animation frame, so an idle window costs no CPU.

#include "window.hpp"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>

#include "atspi_bridge.hpp"
#include "automation_bridge.hpp"
#include "base/log.hpp"
#include "frame.hpp"
#include "vesk_ui/app.hpp"
#include "vesk_ui/floating_window.hpp"
#include "vesk_ui/i18n.hpp"
#include "vesk_ui/text.hpp"
#include "vesk_ui/theme.hpp"
#include "vesk_ui/widget.hpp"

namespace vesk_ui::detail {

namespace {

constexpr double kFrameMs = 1000.0 / 60;

// GDK_SCALE is what desktops set for integer scaling on X11, where SDL has
// no scale of its own; VESK_SCALE overrides it.
double env_scale() {
  for (const char* var : {"VESK_SCALE", "GDK_SCALE"}) {
    if (const char* v = std::getenv(var); v && *v) {
      char* end = nullptr;
      double s = std::strtod(v, &end);
      if (end && *end == 0 && std::isfinite(s) && s > 0 && s <= 8) return s;
    }
  }
  return 1;
}

Modifiers mods_from(Uint16 m) {
  Modifiers out;
  out.shift = (m & KMOD_SHIFT) != 0;
  out.ctrl = (m & KMOD_CTRL) != 0;
  out.alt = (m & KMOD_ALT) != 0;
  out.super = (m & KMOD_GUI) != 0;
  return out;
}

PointerButton button_from(Uint8 b) {
  switch (b) {
    case SDL_BUTTON_LEFT:
      return PointerButton::Primary;
    case SDL_BUTTON_RIGHT:
      return PointerButton::Secondary;
    case SDL_BUTTON_MIDDLE:
      return PointerButton::Middle;
    default:
      return PointerButton::Other;
  }
}

std::pair<Key, char32_t> key_from(SDL_Keycode k) {
  switch (k) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return {Key::Enter, 0};
    case SDLK_ESCAPE:
      return {Key::Escape, 0};
    case SDLK_TAB:
      return {Key::Tab, 0};
    case SDLK_BACKSPACE:
      return {Key::Backspace, 0};
    case SDLK_DELETE:
      return {Key::Delete, 0};
    case SDLK_INSERT:
      return {Key::Insert, 0};
    case SDLK_LEFT:
      return {Key::Left, 0};
    case SDLK_RIGHT:
      return {Key::Right, 0};
    case SDLK_UP:
      return {Key::Up, 0};
    case SDLK_DOWN:
      return {Key::Down, 0};
    case SDLK_HOME:
      return {Key::Home, 0};
    case SDLK_END:
      return {Key::End, 0};
    case SDLK_PAGEUP:
      return {Key::PageUp, 0};
    case SDLK_PAGEDOWN:
      return {Key::PageDown, 0};
    case SDLK_SPACE:
      return {Key::Space, U' '};
    default:
      break;
  }
  if (k >= SDLK_F1 && k <= SDLK_F12) {
    return {static_cast<Key>(static_cast<int>(Key::F1) + (k - SDLK_F1)), 0};
  }
  // Printable keys have their unshifted character as keycode.
  if (k > 32 && k < 127) return {Key::Character, static_cast<char32_t>(k)};
  if (!(k & SDLK_SCANCODE_MASK) && k >= 160) return {Key::Character, static_cast<char32_t>(k)};
  return {Key::Unknown, 0};
}

struct SdlGuard {
  ~SdlGuard() { SDL_Quit(); }
};

struct Window {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  cairo_surface_t* surface = nullptr;
  int tex_w = 0, tex_h = 0;
  ~Window() {
    if (surface) cairo_surface_destroy(surface);
    if (texture) SDL_DestroyTexture(texture);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
  }
  bool ensure_target(int w, int h) {
    if (w == tex_w && h == tex_h && texture && surface) return true;
    if (surface) cairo_surface_destroy(surface);
    if (texture) SDL_DestroyTexture(texture);
    surface = nullptr;
    texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
    if (!texture) return false;
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    tex_w = w;
    tex_h = h;
    return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  }
};

}  // namespace

int run_window(const launch::LaunchDescription& desc, std::string_view program, std::ostream& err) {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) {
    err << program
        << ": no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
           "render headless with --shot NAME --output PATH\n";
    return 1;
  }
  if (!desc.hooks.app_factory) {
    err << program << ": this program has no window to open (no application factory)\n";
    return 1;
  }
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    err << program << ": cannot open a window on the display (" << SDL_GetError()
        << "); render headless with --shot NAME --output PATH\n";
    return 1;
  }
  SdlGuard sdl_guard;

  App app(desc);
  if (desc.hooks.register_actions) {
    if (app.has_action_registry()) {
      desc.hooks.register_actions(app);
    } else {
      base::log::warn("vesk_ui", "this build has no action framework; actions are not registered");
    }
  }

  persist::DocumentPtr document;
  if (desc.hooks.open_document) {
    auto opened = desc.hooks.open_document(desc.app_id, persist::OpenOptions{});
    if (!opened.ok()) {
      err << program << ": cannot open the document: " << opened.error() << "\n";
      return 1;
    }
    document = std::move(opened).value();
  }

  std::unique_ptr<Widget> widget = desc.hooks.app_factory();
  if (!widget) {
    err << program << ": the application factory built nothing\n";
    return 1;
  }

  Theme theme = Theme::dark();
  if (const char* rm = std::getenv("VESK_REDUCED_MOTION"); rm && *rm && *rm != '0') {
    theme.reduced_motion = true;
  }
  TextRenderer text(desc.extra_fonts);
  I18nManager::global().refresh_from_environment();

  Size logical_size{1024, 768};
  if (desc.hooks.default_window_size) logical_size = desc.hooks.default_window_size();
  if (!(logical_size.w >= 1) || !(logical_size.h >= 1)) logical_size = {1024, 768};
  double user_scale = env_scale();

  Uint32 flags = SDL_WINDOW_SHOWN;
  if (desc.resizable) flags |= SDL_WINDOW_RESIZABLE;
  if (desc.high_dpi) flags |= SDL_WINDOW_ALLOW_HIGHDPI;
  if (desc.borderless) flags |= SDL_WINDOW_BORDERLESS;
  if (desc.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  std::string title = desc.hooks.window_title ? desc.hooks.window_title() : desc.app_id;

  Window win;
  win.window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                static_cast<int>(std::lround(logical_size.w * user_scale)),
                                static_cast<int>(std::lround(logical_size.h * user_scale)), flags);
  if (!win.window) {
    err << program << ": cannot create the window (" << SDL_GetError() << ")\n";
    return 1;
  }
  win.renderer = SDL_CreateRenderer(win.window, -1, 0);
  if (!win.renderer) win.renderer = SDL_CreateRenderer(win.window, -1, SDL_RENDERER_SOFTWARE);
  if (!win.renderer) {
    err << program << ": cannot draw into the window (" << SDL_GetError() << ")\n";
    return 1;
  }
  SDL_StartTextInput();

  // Detached floating surfaces become windows of their own beside this one.
  floating_surface::DesktopHost desktop(win.window);
  const Uint32 main_id = SDL_GetWindowID(win.window);

  // Automation requests arrive on another thread; an event wakes the loop
  // from its sleep so they are answered on this one.
  const Uint32 wake_event = SDL_RegisterEvents(1);
  const auto wake = [wake_event] {
    if (wake_event == static_cast<Uint32>(-1)) return;
    SDL_Event e{};
    e.type = wake_event;
    SDL_PushEvent(&e);
  };
  auto automation = AutomationBridge::open(program, wake);
  // Screen readers see the same tree and run the same controls.
  auto atspi = AtspiBridge::start(std::string(program), wake);
  accessibility::Tree last_tree = frame_accessibility(*widget);

  // For checking a window without a screen (Xvfb): every presented frame is
  // also written here as PNG.
  const char* dump_path = std::getenv("VESK_UI_FRAME_DUMP");
  int frames_drawn = 0;

  // Device pixels per window coordinate (above 1 where SDL itself scales).
  double point_to_px = 1;
  double scale_factor = user_scale;
  bool dirty = true;
  bool running = true;
  Instant last_frame{};

  auto update_metrics = [&] {
    int ww = 0, wh = 0, pw = 0, ph = 0;
    SDL_GetWindowSize(win.window, &ww, &wh);
    SDL_GetRendererOutputSize(win.renderer, &pw, &ph);
    point_to_px = ww > 0 ? static_cast<double>(pw) / ww : 1;
    scale_factor = user_scale * point_to_px;
    logical_size = Size{pw / scale_factor, ph / scale_factor};
    return std::pair{pw, ph};
  };

  // What the widget asked of its floating surfaces goes to the desktop host,
  // whose answers come back as events.
  auto collect_requests = [&] {
    try {
      for (const auto& m : widget->take_floating_requests()) desktop.request(m);
    } catch (const std::exception& ex) {
      base::log::error("vesk_ui", "a floating-surface request failed: {}", ex.what());
    }
  };
  auto deliver = [&](const Event& e) {
    try {
      widget->handle_event(e, scale_factor);
    } catch (const std::exception& ex) {
      base::log::error("vesk_ui", "an event handler failed: {}", ex.what());
    }
    collect_requests();
    dirty = true;
  };
  auto deliver_floating_messages = [&] {
    // Answers may cause requests which cause answers; a widget that keeps
    // asking must not hold the loop.
    for (int round = 0; round < 8; ++round) {
      auto messages = desktop.take_messages();
      if (messages.empty()) break;
      for (auto& m : messages) deliver(FloatingSurfaceEvent{std::move(m)});
    }
  };
  auto serve_automation = [&] {
    if (automation && automation->serve(*widget, last_tree)) {
      collect_requests();
      dirty = true;
    }
    if (!atspi) return;
    for (const auto& r : atspi->take_requests()) {
      try {
        widget->perform_semantic_action(r.name, r.action);
      } catch (const std::exception& ex) {
        base::log::error("vesk_ui", "the control {} failed: {}", r.name, ex.what());
      }
      collect_requests();
      dirty = true;
    }
  };
  auto px = [&](double v) { return v * point_to_px; };

  auto translate = [&](const SDL_Event& ev) {
    if (desktop.handle_sdl_event(ev)) {
      dirty = true;  // the surface moved or wants repainting
      return;
    }
    // Pointer events of windows that are not ours to route (none today, but
    // SDL reports every window's) must not land at the main window's
    // coordinates.
    if ((ev.type == SDL_MOUSEMOTION && ev.motion.windowID != main_id) ||
        ((ev.type == SDL_MOUSEBUTTONDOWN || ev.type == SDL_MOUSEBUTTONUP) &&
         ev.button.windowID != main_id)) {
      return;
    }
    switch (ev.type) {
      case SDL_QUIT:
        running = false;
        break;
      case SDL_WINDOWEVENT:
        if (ev.window.event == SDL_WINDOWEVENT_LEAVE) deliver(PointerLeaveEvent{});
        if (ev.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) deliver(FocusEvent{true});
        if (ev.window.event == SDL_WINDOWEVENT_FOCUS_LOST) deliver(FocusEvent{false});
        dirty = true;  // resized, exposed, shown: draw again
        break;
      case SDL_MOUSEMOTION:
        deliver(PointerMoveEvent{{px(ev.motion.x), px(ev.motion.y)}, mods_from(SDL_GetModState())});
        break;
      case SDL_MOUSEBUTTONDOWN:
        deliver(PointerPressEvent{{px(ev.button.x), px(ev.button.y)},
                                  button_from(ev.button.button),
                                  mods_from(SDL_GetModState()),
                                  ev.button.clicks});
        break;
      case SDL_MOUSEBUTTONUP:
        deliver(PointerReleaseEvent{{px(ev.button.x), px(ev.button.y)},
                                    button_from(ev.button.button),
                                    mods_from(SDL_GetModState())});
        break;
      case SDL_MOUSEWHEEL: {
        double flip = ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
        deliver(WheelEvent{{px(ev.wheel.mouseX), px(ev.wheel.mouseY)},
                           flip * ev.wheel.preciseX,
                           flip * ev.wheel.preciseY,
                           WheelUnit::Lines,
                           mods_from(SDL_GetModState())});
        break;
      }
      case SDL_KEYDOWN: {
        auto [key, ch] = key_from(ev.key.keysym.sym);
        deliver(KeyPressEvent{key, ch, mods_from(ev.key.keysym.mod), ev.key.repeat != 0});
        break;
      }
      case SDL_KEYUP: {
        auto [key, ch] = key_from(ev.key.keysym.sym);
        deliver(KeyReleaseEvent{key, ch, mods_from(ev.key.keysym.mod)});
        break;
      }
      case SDL_TEXTINPUT:
        deliver(TextEvent{ev.text.text});
        break;
      case SDL_TEXTEDITING:
        deliver(TextEditingEvent{ev.edit.text, ev.edit.start});
        break;
      default:
        break;
    }
  };

  while (running) {
    bool animating = false;
    try {
      animating = widget->needs_animation_frame() || widget->take_redraw_request();
    } catch (const std::exception& ex) {
      base::log::error("vesk_ui", "needs_animation_frame failed: {}", ex.what());
    }
    if (dirty || animating) {
      auto [pw, ph] = update_metrics();
      if (pw > 0 && ph > 0 && win.ensure_target(pw, ph)) {
        FrameEnv env{theme, text, logical_size, scale_factor, now(), desktop};
        try {
          frame_sync(*widget, env, document.get());
          auto laid = frame_layout(*widget, env);
          if (!laid.ok()) {
            base::log::error("vesk_ui", "layout failed: {}", laid.error());
          } else {
            desktop.begin_frame();
            frame_draw(*widget, env, win.surface, false);
            frame_draw(*widget, env, win.surface, true);
            desktop.end_frame();
            last_tree = frame_accessibility(*widget);
            if (atspi) atspi->publish(last_tree, desktop.window_origin());
          }
        } catch (const std::exception& ex) {
          base::log::error("vesk_ui", "a frame failed: {}", ex.what());
        }
        SDL_UpdateTexture(win.texture, nullptr, cairo_image_surface_get_data(win.surface),
                          cairo_image_surface_get_stride(win.surface));
        SDL_RenderClear(win.renderer);
        SDL_RenderCopy(win.renderer, win.texture, nullptr, nullptr);
        SDL_RenderPresent(win.renderer);
        ++frames_drawn;
        if (dump_path && *dump_path) cairo_surface_write_to_png(win.surface, dump_path);
        base::log::debug("vesk_ui", "frame {} drawn at {}x{} px", frames_drawn, pw, ph);
      }
      dirty = false;
      last_frame = now();
      bool drew_for_animation = animating;
      try {
        animating = widget->needs_animation_frame();
      } catch (const std::exception&) {
        animating = false;
      }
      // The frame just drawn showed an instant inside the animation; if the
      // animation ended meanwhile (a slow frame), one more frame shows its
      // settled end instead of leaving a stale in-between picture.
      if (drew_for_animation && !animating) {
        dirty = true;
        animating = true;
      }
    }
    if (automation && automation->pending() && !dirty) {
      serve_automation();  // requests left over from before the frame
      continue;
    }
    SDL_Event ev;
    bool got = false;
    if (animating) {
      double left = kFrameMs - Millis(now() - last_frame).count();
      got = SDL_WaitEventTimeout(&ev, std::max(1, static_cast<int>(left))) != 0;
    } else {
      got = SDL_WaitEvent(&ev) != 0;  // sleeps: nothing to animate
    }
    if (!got) continue;
    translate(ev);
    while (running && SDL_PollEvent(&ev)) translate(ev);
    deliver_floating_messages();
    serve_automation();
  }
  SDL_StopTextInput();
  automation.reset();
  atspi.reset();
  widget.reset();  // before the document it may still point into
  return 0;
}

}  // namespace vesk_ui::detail
