// The widgets in one window, for trying them by hand or driving them with
// xdotool: two text inputs (copy and paste between them), buttons, avatars,
// a tooltip on the send button, a context menu on a right click, and a
// floating card that can be dragged out of the window onto the desktop and
// back. What happens is printed to stdout, one line per event, so scripts
// can check it. F11 writes the frame to gallery.png; F12 prints the
// accessibility tree as JSON.
//
//   vesk_ui_widgets_gallery              open the window
//   vesk_ui_widgets_gallery --shot PATH  draw one frame (card detached) to PATH

#include <SDL.h>
#include <cairo.h>

#include <cstdio>
#include <string>
#include <vector>

#include "vesk_ui/accessibility.hpp"
#include "vesk_ui/avatar.hpp"
#include "vesk_ui/button.hpp"
#include "vesk_ui/context_menu.hpp"
#include "vesk_ui/floating.hpp"
#include "vesk_ui/floating_window.hpp"
#include "vesk_ui/text_input.hpp"
#include "vesk_ui/tooltip.hpp"

namespace {

using namespace vesk_ui;
using floating_surface::DragEnd;

constexpr char kCardId[] = "gallery-card:demo";
constexpr double kW = 900;
constexpr double kH = 600;

struct Gallery {
  TextInput name{false};
  TextInput composer{true};
  ContextMenu menu;
  TooltipHost tooltips;
  FloatingPlacement card;
  std::string status = "ready";
  Point pointer;
  const Rect window = Rect::from_xywh(0, 0, kW, kH);
  const Rect name_box = Rect::from_xywh(30, 60, 400, 40);
  const Rect composer_box = Rect::from_xywh(30, 130, 400, 110);
  const Rect send_box = Rect::from_xywh(440, 130, 60, 40);
  const Rect frame = Rect::from_xywh(560, 60, 300, 180);

  Gallery() {
    name.set_placeholder("Your name");
    composer.set_placeholder("Message #general");
    composer.set_shift_enter_newline(true);
    name.set_focused(true);
    floating_surface::AttachedChrome chrome;
    chrome.inset_left = chrome.inset_right = 12;
    chrome.inset_top = 40;
    chrome.inset_bottom = 12;
    chrome.anchor_x = 0.78;
    chrome.anchor_y = 0.30;
    chrome.width_fraction = 0.3;
    chrome.height_fraction = 0.3;
    card.set_attached_chrome(chrome);
  }

  Rect card_rect() const { return card.rect(window, frame); }
  Rect grip(Rect card_r) const { return Rect{card_r.x0, card_r.y0, card_r.x1, card_r.y0 + 26}; }

  void say(const std::string& line) {
    status = line;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }

  void deliver(const floating_surface::Message& m, Instant now) {
    if (floating_surface::target(m) != kCardId) return;
    const auto r = floating_surface::protocol_rect(m);
    if (!r) return;
    if (std::holds_alternative<floating_surface::Detach>(m)) {
      card.detach_to_desktop(*r, card_rect(), now);
      say("card: detached");
    } else if (std::holds_alternative<floating_surface::Reattach>(m)) {
      card.reattach_to_app(*r, now);
      card.confirm_app_adoption();
      say("card: reattached");
    }
  }

  void handle(const Event& e, Instant now, floating_surface::DesktopHost& host) {
    if (menu.is_open()) {
      const auto out = menu.handle_event(e);
      if (out.chosen) say("menu: " + menu.items()[*out.chosen].label);
      if (out.consumed) return;
    }
    if (const auto* m = std::get_if<PointerMoveEvent>(&e)) {
      pointer = m->position;
      if (card.is_dragging()) card.update_drag(pointer);
      std::optional<TooltipCandidate> c;
      if (send_box.contains(pointer)) c = TooltipCandidate{"Send message", send_box};
      tooltips.on_pointer(c, now);
    }
    if (const auto* p = std::get_if<PointerPressEvent>(&e)) {
      if (p->button == PointerButton::Secondary) {
        menu = ContextMenu();
        menu.push("Delete", true, 78);
        menu.push("Archive / unarchive", false, 36);
        menu.push("Rename", false, 49);
        menu.push("Move up", false, 15);
        menu.push("Move down", false, 16);
        menu.open_at_clamped(p->position, window);
        say("menu: open");
        return;
      }
      if (!card.is_detached() && grip(card_rect()).contains(p->position)) {
        card.begin_drag(p->position, window, frame);
        return;
      }
      if (send_box.contains(p->position)) {
        say("send: " + composer.text());
        return;
      }
    }
    if (std::holds_alternative<PointerReleaseEvent>(e) && card.is_dragging()) {
      card.set_window_origin(host.window_origin());
      const Rect dropped = card_rect();
      if (card.end_drag(window, frame) == DragEnd::LeftWindow) {
        const Point o = host.window_origin();
        deliver(floating_surface::Detach{kCardId, dropped.translated(o.x, o.y)}, now);
      }
      return;
    }
    for (TextInput* input : {&name, &composer}) {
      const bool was_focused = input->focused();
      const auto r = input->handle_event(e);
      if (r == TextInput::Result::Submit) say("submit: " + input->text());
      if (input->take_dirty())
        say(std::string(input == &name ? "name" : "composer") + ": " + input->text());
      if (was_focused && r != TextInput::Result::Ignored) break;
    }
  }

  void draw_card(cairo_t* cr, Size size) const {
    ink::rounded_rect_path(cr, 0, 0, size.w, size.h, 14);
    ink::set_source(cr, ink::rgb8(0x2a, 0x2d, 0x35));
    cairo_fill(cr);
    ink::set_source(cr, ink::rgb8(0x6a, 0x70, 0x7e));
    for (int i = 0; i < 3; ++i) {  // the drag grip
      cairo_rectangle(cr, size.w / 2 - 14, 8 + i * 4, 28, 1.5);
    }
    cairo_fill(cr);
    Avatar::draw_at(cr, Point{16, 40}, 44, "AL", ink::rgb8(0x5b, 0x6e, 0xe1),
                    ink::rgb8(0x3b, 0xa5, 0x5d));
    Avatar::draw_at(cr, Point{70, 40}, 44, "GH", ink::rgb8(0x2f, 0x9e, 0x8f));
    Button::paint(cr, Rect::from_xywh(12, size.h - 46, (size.w - 36) / 2, 32), "Mute", {});
    Button::paint(cr, Rect::from_xywh(24 + (size.w - 36) / 2, size.h - 46, (size.w - 36) / 2, 32),
                  "Leave", {Button::Kind::Danger, false, false});
  }

  void draw(cairo_t* cr, Instant now, floating_surface::DesktopHost& host) {
    cairo_set_source_rgb(cr, 0x1b / 255.0, 0x1d / 255.0, 0x22 / 255.0);
    cairo_paint(cr);
    for (const auto& [input, box] :
         {std::pair{&name, name_box}, std::pair{&composer, composer_box}}) {
      ink::rounded_rect_path(cr, box.x0, box.y0, box.width(), box.height(), 10);
      ink::set_source(cr, ink::rgb8(0x26, 0x28, 0x2f));
      cairo_fill_preserve(cr);
      ink::set_source(cr,
                      input->focused() ? ink::rgb8(0x4f, 0x6b, 0xed) : ink::rgb8(0x3a, 0x3e, 0x49));
      cairo_set_line_width(cr, input->focused() ? 1.6 : 1);
      cairo_stroke(cr);
      input->paint(cr, box);
    }
    Button::paint(cr, send_box, "➤",
                  {Button::Kind::Active, send_box.contains(pointer), composer.text().empty()});
    const std::pair<const char*, Button::State> buttons[] = {
        {"Mute", {}},
        {"Deafen", {Button::Kind::Active, false, false}},
        {"Leave", {Button::Kind::Danger, false, false}},
        {"Camera", {Button::Kind::Normal, false, true}},
    };
    double x = 30;
    for (const auto& [label, state] : buttons) {
      Rect r = Rect::from_xywh(x, 270, 96, 32);
      Button::State s = state;
      s.hovered = r.contains(pointer);
      Button::paint(cr, r, label, s);
      x += 108;
    }
    const char* people[] = {"Ada Lovelace", "émile zola", "Grace Hopper", "Linus"};
    for (int i = 0; i < 4; ++i) {
      Avatar::draw_at(cr, Point{30.0 + i * 60, 330}, 44, Avatar::initials_for_name(people[i]),
                      ink::rgb8(0x5b + i * 30, 0x6e, 0xe1 - i * 40),
                      i % 2 == 0 ? std::optional(ink::rgb8(0x3b, 0xa5, 0x5d)) : std::nullopt);
    }
    ink::set_source(cr, ink::rgb8(0xa8, 0xad, 0xba));
    cairo_move_to(cr, 30, 420);
    cairo_select_font_face(cr, "Noto Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 13);
    cairo_show_text(cr, status.c_str());

    const Rect r = card_rect();
    if (card.is_detached() && !card.is_dragging()) {
      const Point o = host.window_origin();
      host.present(
          kCardId, "Gallery card", r.translated(o.x, o.y),
          [this](cairo_t* c, Size s) { draw_card(c, s); }, cr);
    } else {
      host.hide(kCardId);
      const auto t = card.presentation_transform(window, frame, now);
      cairo_save(cr);
      t.apply(cr, r);
      cairo_translate(cr, r.x0, r.y0);
      cairo_push_group(cr);
      draw_card(cr, r.size());
      cairo_pop_group_to_source(cr);
      cairo_paint_with_alpha(cr, t.opacity);
      cairo_restore(cr);
    }
    menu.paint(cr);
    tooltips.tick(now);
    if (tooltips.shown()) tooltip::draw_hover_tooltip(cr, *tooltips.shown(), window);
  }

  accessibility::Node tree() const {
    accessibility::Node root{"window", "Widgets gallery", window, "", {}};
    root.children.push_back({"text-input", "Your name", name_box, "gallery.name", {}});
    root.children.push_back(
        {"text-input", "Message composer", composer_box, "gallery.composer", {}});
    if (menu.is_open()) root.children.push_back(menu.accessibility());
    return root;
  }
};

Event translate_key(const SDL_KeyboardEvent& k) {
  KeyPressEvent e;
  const Uint16 mod = k.keysym.mod;
  e.modifiers = Modifiers{(mod & KMOD_SHIFT) != 0, (mod & KMOD_CTRL) != 0, (mod & KMOD_ALT) != 0,
                          (mod & KMOD_GUI) != 0};
  e.repeat = k.repeat != 0;
  switch (k.keysym.sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      e.key = Key::Enter;
      break;
    case SDLK_ESCAPE:
      e.key = Key::Escape;
      break;
    case SDLK_TAB:
      e.key = Key::Tab;
      break;
    case SDLK_BACKSPACE:
      e.key = Key::Backspace;
      break;
    case SDLK_DELETE:
      e.key = Key::Delete;
      break;
    case SDLK_LEFT:
      e.key = Key::Left;
      break;
    case SDLK_RIGHT:
      e.key = Key::Right;
      break;
    case SDLK_UP:
      e.key = Key::Up;
      break;
    case SDLK_DOWN:
      e.key = Key::Down;
      break;
    case SDLK_HOME:
      e.key = Key::Home;
      break;
    case SDLK_END:
      e.key = Key::End;
      break;
    case SDLK_SPACE:
      e.key = Key::Space;
      e.character = ' ';
      break;
    default:
      if (k.keysym.sym > 0 && k.keysym.sym < 0x80) {
        e.key = Key::Character;
        e.character = static_cast<char32_t>(k.keysym.sym);
      }
  }
  return e;
}

int run_window() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "gallery: no display: %s\n", SDL_GetError());
    return 1;
  }
  SDL_Window* win =
      SDL_CreateWindow("vesk_ui widgets", 0, 0, static_cast<int>(kW), static_cast<int>(kH), 0);
  if (win == nullptr) return 1;
  SDL_StartTextInput();
  Gallery g;
  floating_surface::DesktopHost host(win);
  const Uint32 main_id = SDL_GetWindowID(win);
  bool running = true;
  bool want_png = false;
  while (running) {
    SDL_Event ev;
    const bool animating = g.card.is_handoff_animating(now()) || g.tooltips.is_pending();
    if (!(animating ? SDL_WaitEventTimeout(&ev, 16) : SDL_WaitEvent(&ev))) ev.type = SDL_FIRSTEVENT;
    do {
      if (ev.type == SDL_FIRSTEVENT) break;
      if (host.handle_sdl_event(ev)) continue;
      const Instant t = now();
      switch (ev.type) {
        case SDL_QUIT:
          running = false;
          break;
        case SDL_MOUSEMOTION:
          if (ev.motion.windowID == main_id)
            g.handle(PointerMoveEvent{{double(ev.motion.x), double(ev.motion.y)}, {}}, t, host);
          break;
        case SDL_MOUSEBUTTONDOWN: {
          PointerPressEvent p;
          p.position = {double(ev.button.x), double(ev.button.y)};
          p.button = ev.button.button == SDL_BUTTON_RIGHT ? PointerButton::Secondary
                                                          : PointerButton::Primary;
          p.clicks = ev.button.clicks;
          p.modifiers.shift = (SDL_GetModState() & KMOD_SHIFT) != 0;
          g.handle(p, t, host);
          break;
        }
        case SDL_MOUSEBUTTONUP: {
          PointerReleaseEvent r;
          r.position = {double(ev.button.x), double(ev.button.y)};
          g.handle(r, t, host);
          break;
        }
        case SDL_KEYDOWN:
          if (ev.key.keysym.sym == SDLK_F11)
            want_png = true;
          else if (ev.key.keysym.sym == SDLK_F12)
            g.say(accessibility::to_json(g.tree()));
          else
            g.handle(translate_key(ev.key), t, host);
          break;
        case SDL_TEXTINPUT:
          g.handle(TextEvent{ev.text.text}, t, host);
          break;
        case SDL_TEXTEDITING:
          g.handle(TextEditingEvent{ev.edit.text, ev.edit.start}, t, host);
          break;
        default:
          break;
      }
    } while (SDL_PollEvent(&ev));
    for (const auto& m : host.take_messages()) g.deliver(m, now());
    SDL_Surface* target = SDL_GetWindowSurface(win);
    SDL_LockSurface(target);
    cairo_surface_t* cs = cairo_image_surface_create_for_data(
        static_cast<unsigned char*>(target->pixels), CAIRO_FORMAT_RGB24, target->w, target->h,
        target->pitch);
    cairo_t* cr = cairo_create(cs);
    g.draw(cr, now(), host);
    cairo_destroy(cr);
    if (want_png) {
      cairo_surface_write_to_png(cs, "gallery.png");
      g.say("wrote gallery.png");
      want_png = false;
    }
    cairo_surface_destroy(cs);
    SDL_UnlockSurface(target);
    SDL_UpdateWindowSurface(win);
  }
  SDL_DestroyWindow(win);
  SDL_Quit();
  return 0;
}

int run_shot(const char* path) {
  Gallery g;
  floating_surface::DesktopHost host(nullptr);
  g.composer.set_text("Copy me, then paste into the name field.");
  g.composer.select(0, 7);
  g.composer.set_focused(true);
  g.name.set_focused(false);
  const Instant t = now();
  g.card.detach_to_desktop(Rect::from_xywh(560, 330, 300, 180), g.card_rect(), t);
  g.card.pin_handoff_for_visual_review(Millis(1000));
  g.menu.push("Rename", false, 49);
  g.menu.push("Delete", true, 78);
  g.menu.open_at_clamped(Point{420, 420}, g.window);
  cairo_surface_t* s =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(kW), static_cast<int>(kH));
  cairo_t* cr = cairo_create(s);
  g.draw(cr, t, host);
  cairo_destroy(cr);
  const bool ok = cairo_surface_write_to_png(s, path) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  if (ok) std::printf("gallery: wrote shot to %s\n", path);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--shot") return run_shot(argv[2]);
  if (argc != 1) {
    std::fprintf(stderr, "usage: %s [--shot PATH]\n", argv[0]);
    return 2;
  }
  return run_window();
}
