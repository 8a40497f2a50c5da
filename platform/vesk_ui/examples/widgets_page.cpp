#include "widgets_page.hpp"

#include <cairo.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <tuple>
#include <utility>

#include "vesk_ui/avatar.hpp"
#include "vesk_ui/button.hpp"
#include "vesk_ui/floating_window.hpp"
#include "vesk_ui/format.hpp"
#include "vesk_ui/painter.hpp"
#include "vesk_ui/presence.hpp"
#include "vesk_ui/surface.hpp"
#include "vesk_ui/text.hpp"
#include "vesk_ui/theme.hpp"

namespace gallery {

using namespace vesk_ui;

namespace {

constexpr const char* kSampleKey = "gallery:sample.png";
constexpr double kGripHeight = 26;

struct ButtonSpec {
  const char* id;
  const char* label;
  Button::Kind kind;
  bool disabled;
};
constexpr ButtonSpec kButtons[] = {
    {"mute", "Mute", Button::Kind::Normal, false},
    {"deafen", "Deafen", Button::Kind::Active, false},
    {"leave", "Leave", Button::Kind::Danger, false},
    {"camera", "Camera", Button::Kind::Normal, true},
};

const char* const kPeople[] = {"Ada Lovelace", "émile zola", "Grace Hopper", "Linus"};

// The sample image is drawn and encoded here, so the page shows the image
// store decoding real PNG bytes on its workers without shipping a file.
std::vector<std::uint8_t> sample_png() {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 320, 200);
  cairo_t* cr = cairo_create(s);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 320, 200);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.31, 0.42, 0.93);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.18, 0.62, 0.56);
  cairo_set_source(cr, g);
  cairo_paint(cr);
  cairo_pattern_destroy(g);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
  cairo_arc(cr, 230, 70, 34, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_move_to(cr, 0, 200);
  cairo_line_to(cr, 110, 90);
  cairo_line_to(cr, 200, 200);
  cairo_set_source_rgba(cr, 0.1, 0.12, 0.16, 0.7);
  cairo_fill(cr);
  cairo_destroy(cr);
  std::vector<std::uint8_t> out;
  cairo_surface_write_to_png_stream(
      s,
      [](void* closure, const unsigned char* data, unsigned int length) {
        auto* v = static_cast<std::vector<std::uint8_t>*>(closure);
        v->insert(v->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &out);
  cairo_surface_destroy(s);
  return out;
}

}  // namespace

WidgetsPage::WidgetsPage() {
  name_.set_placeholder("Your name");
  composer_.set_placeholder("Message #general");
  composer_.set_shift_enter_newline(true);
  name_.set_focused(true);
  floating_surface::AttachedChrome chrome;
  chrome.inset_left = chrome.inset_right = 12;
  chrome.inset_top = 40;
  chrome.inset_bottom = 12;
  chrome.anchor_x = 0.80;
  chrome.anchor_y = 0.36;
  chrome.width_fraction = 0.3;
  chrome.height_fraction = 0.3;
  card_.set_attached_chrome(chrome);
  auto png = sample_png();
  sample_bytes_ = png.size();
  images_ = std::make_unique<image_store::ImageStore>(
      [png = std::move(png)](std::string_view key) -> std::optional<std::vector<std::uint8_t>> {
        if (key == kSampleKey) return png;
        return std::nullopt;
      });
}

void WidgetsPage::say(std::string line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  status_ = std::move(line);
}

void WidgetsPage::place(Rect area, Rect window) {
  area_ = area;
  window_ = window;
}

void WidgetsPage::sync(const SyncContext& ctx) {
  now_ = ctx.now;
  window_origin_ = ctx.window_origin;
  card_.set_window_origin(ctx.window_origin);
}

Rect WidgetsPage::card_frame() const {
  return Rect::from_xywh(area_.x1 - 320, area_.y0 + 20, 300, 180);
}

Rect WidgetsPage::card_rect() const {
  return card_.rect(window_, card_frame());
}

const WidgetsPage::Region* WidgetsPage::region_at(Point p) const {
  for (auto it = regions_.rbegin(); it != regions_.rend(); ++it) {
    if (it->rect.contains(p)) return &*it;
  }
  return nullptr;
}

const WidgetsPage::Region* WidgetsPage::region_named(std::string_view name) const {
  for (const Region& r : regions_) {
    if (r.name == name) return &r;
  }
  return nullptr;
}

TextInput* WidgetsPage::input_named(std::string_view name) {
  if (name == "gallery.name") return &name_;
  if (name == "gallery.composer") return &composer_;
  return nullptr;
}

void WidgetsPage::focus(TextInput* input) {
  name_.set_focused(input == &name_);
  composer_.set_focused(input == &composer_);
}

void WidgetsPage::report_edits() {
  if (name_.take_dirty()) say("name: " + name_.text());
  if (composer_.take_dirty()) say("composer: " + composer_.text());
}

void WidgetsPage::open_menu(Point at) {
  menu_ = ContextMenu();
  menu_.push("Delete", true, 78);
  menu_.push("Archive / unarchive", false, 36);
  menu_.push("Rename", false, 49);
  menu_.push("Move up", false, 15);
  menu_.push("Move down", false, 16);
  menu_.open_at_clamped(at, window_);
  say("menu: open");
}

// What a control does, whoever runs it: the pointer, the keyboard or
// automation.
void WidgetsPage::press(const std::string& control, Point at) {
  if (TextInput* input = input_named(control)) {
    focus(input);
    return;
  }
  if (control == "gallery.send") {
    say("send: " + composer_.text());
    return;
  }
  if (control == "gallery.menu") {
    open_menu(at);
    return;
  }
  if (control == "gallery.card-grip") {
    card_.begin_drag(at, window_, card_frame());
    return;
  }
  for (const ButtonSpec& b : kButtons) {
    if (control == std::string("gallery.button:") + b.id && !b.disabled) {
      say(std::string("button: ") + b.label);
      return;
    }
  }
}

bool WidgetsPage::handle_event(const Event& event, double scale_factor) {
  if (const auto* f = std::get_if<FloatingSurfaceEvent>(&event)) {
    const auto& m = f->message;
    const auto r = floating_surface::protocol_rect(m);
    if (floating_surface::target(m) != kCardId || !r) return false;
    if (std::holds_alternative<floating_surface::Detach>(m)) {
      card_.detach_to_desktop(*r, r->translated(-window_origin_.x, -window_origin_.y), now_);
      say("card: detached");
    } else if (std::holds_alternative<floating_surface::Reattach>(m)) {
      card_.reattach_to_app(*r, now_);
      card_.confirm_app_adoption();
      say("card: reattached");
    } else {
      card_.moved_on_desktop(*r);
    }
    return true;
  }
  if (menu_.is_open()) {
    const auto out = menu_.handle_event(event, scale_factor);
    if (out.chosen) say("menu: " + menu_.items()[*out.chosen].label);
    if (out.consumed) return true;
  }
  const auto logical = [&](Point p) { return Point{p.x / scale_factor, p.y / scale_factor}; };
  if (const auto* m = std::get_if<PointerMoveEvent>(&event)) {
    const Point p = logical(m->position);
    if (card_.is_dragging()) card_.update_drag(p);
    const Region* r = region_at(p);
    hovered_ = r ? std::optional(r->name) : std::nullopt;
    std::optional<TooltipCandidate> c;
    if (r && r->name == "gallery.send") c = TooltipCandidate{r->label, r->rect};
    tooltips_.on_pointer(c, now());
  } else if (const auto* p = std::get_if<PointerPressEvent>(&event)) {
    const Point at = logical(p->position);
    if (p->button == PointerButton::Secondary) {
      open_menu(at);
      return true;
    }
    if (p->button != PointerButton::Primary) return false;
    const Region* r = region_at(at);
    if (!r) return false;
    const std::string control = r->name;
    press(control, at);
    // A press on a field also places its caret.
    if (TextInput* input = input_named(control)) input->handle_event(event, scale_factor);
    report_edits();
    return true;
  } else if (std::holds_alternative<PointerReleaseEvent>(event) && card_.is_dragging()) {
    const Rect dropped = card_rect();
    if (card_.end_drag(window_, card_frame()) == floating_surface::DragEnd::LeftWindow) {
      requests_.push_back(floating_surface::Detach{
          kCardId, dropped.translated(window_origin_.x, window_origin_.y)});
    }
    return true;
  }
  // Keys and text go to the focused field; pointer moves and releases to
  // both (a selection drag may leave the field it started in).
  bool used = false;
  for (TextInput* input : {&name_, &composer_}) {
    const bool keyed = std::holds_alternative<KeyPressEvent>(event) ||
                       std::holds_alternative<TextEvent>(event) ||
                       std::holds_alternative<TextEditingEvent>(event);
    if (keyed && !input->focused()) continue;
    const auto result = input->handle_event(event, scale_factor);
    if (result == TextInput::Result::Submit) say("submit: " + input->text());
    used = used || result != TextInput::Result::Ignored;
  }
  report_edits();
  return used;
}

bool WidgetsPage::needs_animation_frame() const {
  return card_.is_handoff_animating(now()) || tooltips_.is_pending();
}

std::vector<floating_surface::Message> WidgetsPage::take_floating_requests() {
  return std::exchange(requests_, {});
}

void WidgetsPage::draw_card(Painter& p, const Theme& t, Size size) const {
  const Rect r = Rect::from_xywh(0, 0, size.w, size.h);
  p.fill_rounded_rect(r, 14, t.colors.floating);
  chrome::shell::panel_border(p, t, r, 14);
  surface::floating_drag_grip(p, t, Rect{0, 0, size.w, kGripHeight}, t.colors.floating);
  Avatar::draw_at(p, Point{16, 40}, 44, "AL", presence::user_color(2), t.colors.success);
  Avatar::draw_at(p, Point{70, 40}, 44, "GH", presence::user_color(5));
  const double bw = (size.w - 36) / 2;
  Button::paint(p, Rect::from_xywh(12, size.h - 46, bw, 32), "Mute", {});
  Button::paint(p, Rect::from_xywh(24 + bw, size.h - 46, bw, 32), "Leave",
                {Button::Kind::Danger, false, false});
}

void WidgetsPage::draw(DrawContext& ctx) {
  Painter& p = ctx.painter;
  const Theme& t = ctx.theme;
  const Colors& c = t.colors;
  now_ = ctx.now;
  regions_.clear();
  const Point o = area_.origin();

  const Rect name_box = Rect::from_xywh(o.x, o.y + 20, 400, 40);
  const Rect composer_box = Rect::from_xywh(o.x, o.y + 76, 400, 110);
  const Rect send_box = Rect::from_xywh(o.x + 410, o.y + 76, 60, 40);
  for (const auto& [input, box, id, label] :
       {std::tuple{&name_, name_box, "gallery.name", "Your name"},
        std::tuple{&composer_, composer_box, "gallery.composer", "Message composer"}}) {
    p.fill_rounded_rect(box, 10, c.overlay);
    p.stroke_rounded_rect(box, 10, input->focused() ? 1.6 : 1,
                          input->focused() ? c.accent : c.hairline_on(c.overlay));
    input->paint(p, box);
    regions_.push_back({box, id, label});
  }
  Button::paint(p, send_box, "➤",
                {Button::Kind::Active, hovered_ == "gallery.send", composer_.text().empty()});
  regions_.push_back({send_box, "gallery.send", "Send message"});

  double x = o.x;
  for (const ButtonSpec& b : kButtons) {
    const Rect r = Rect::from_xywh(x, o.y + 204, 96, 32);
    const std::string id = std::string("gallery.button:") + b.id;
    Button::paint(p, r, b.label, {b.kind, hovered_ == id, b.disabled});
    regions_.push_back({r, id, b.label});
    x += 108;
  }
  const Rect more = Rect::from_xywh(x, o.y + 204, 40, 32);
  Button::paint(p, more, "⋯", {Button::Kind::Normal, hovered_ == "gallery.menu", false});
  regions_.push_back({more, "gallery.menu", "More actions"});
  for (int i = 0; i < 4; ++i) {
    Avatar::draw_at(p, Point{o.x + i * 60, o.y + 256}, 44, Avatar::initials_for_name(kPeople[i]),
                    presence::user_color(static_cast<std::uint32_t>(i * 3)),
                    i % 2 == 0 ? std::optional(c.success) : std::nullopt);
  }

  const Rect image_box = Rect::from_xywh(o.x + 260, o.y + 250, 140, 88);
  const auto image = images_->get(kSampleKey);
  if (image.state == image_store::State::Ready) {
    paint_image_cover(p, *image.image, image_box, 8);
  } else {
    p.fill_rounded_rect(image_box, 8, c.raised);
  }
  ctx.text.draw_text(p, "sample.png · " + format::bytes(sample_bytes_),
                     {image_box.x0, image_box.y1 + 6}, 11.5, c.text_dim);

  ctx.text.draw_text(p, status_, {o.x, area_.y1 - 22}, 13, c.text_dim);

  // The card: in the window while attached (or on its way back), on the
  // desktop while detached.
  const Rect r = card_rect();
  const Rect grip{r.x0, r.y0, r.x1, r.y0 + kGripHeight};
  if (card_.is_detached() && !card_.is_dragging()) {
    ctx.desktop.present(
        kCardId, "Gallery card", r.translated(window_origin_.x, window_origin_.y),
        [this, &t](cairo_t* cr, Size s) {
          Painter cp(cr);
          draw_card(cp, t, s);
        },
        p.cairo());
  } else {
    const auto tr = card_.presentation_transform(window_, card_frame(), ctx.now);
    Painter::Saver saved(p);
    tr.apply(p.cairo(), r);
    p.translate(r.x0, r.y0);
    surface::shadow(p, t, Rect::from_xywh(0, 0, r.width(), r.height()), 14, 2);
    p.push_layer();
    draw_card(p, t, r.size());
    p.pop_layer(tr.opacity);
    regions_.push_back({grip, "gallery.card-grip", "Move the call card"});
  }
}

void WidgetsPage::draw_floating_surfaces(DrawContext& ctx) {
  menu_.paint(ctx.painter);
  tooltips_.tick(ctx.now);
  if (tooltips_.shown()) tooltip::draw_hover_tooltip(ctx.painter, *tooltips_.shown(), window_);
}

void WidgetsPage::export_accessibility(accessibility::Tree& tree) const {
  accessibility::Node page{"group", "Widgets", area_, "", {}};
  for (const Region& r : regions_) {
    const bool field = r.name == "gallery.name" || r.name == "gallery.composer";
    page.children.push_back({field ? "text-input" : "button", r.label, r.rect, r.name, {}});
  }
  tree.root.children.push_back(std::move(page));
  if (menu_.is_open()) tree.root.children.push_back(menu_.accessibility());
  std::vector<accessibility::HitRegion> hits;
  for (const Region& r : regions_) hits.push_back({r.rect, r.name, r.label});
  for (auto& n : accessibility::synthetic_nodes(hits)) tree.synthetic.push_back(std::move(n));
}

bool WidgetsPage::perform_semantic_action(std::string_view name,
                                          const accessibility::SemanticAction& action) {
  if (name.starts_with(ContextMenu::kItemPrefix)) {
    if (!menu_.is_open()) return false;
    const auto chosen = menu_.perform_semantic_action(name);
    if (chosen) say("menu: " + menu_.items()[*chosen].label);
    return chosen.has_value();
  }
  // Only what the last frame showed can be reached.
  const Region* r = region_named(name);
  if (!r) return false;
  const std::string control = r->name;
  const Point at = r->rect.center();
  if (TextInput* input = input_named(control)) {
    if (action.action == accessibility::Action::SetText) {
      input->set_text(action.text);
      say(std::string(input == &name_ ? "name: " : "composer: ") + input->text());
    }
    focus(input);
    return true;
  }
  if (action.action == accessibility::Action::SetText) return false;
  if (control == "gallery.card-grip") return false;  // a drag, not an activation
  press(control, at);
  return true;
}

void WidgetsPage::stage_review(Instant at) {
  composer_.set_text("Copy me, then paste into the name field.");
  composer_.select(0, 7);
  focus(&composer_);
  const Rect from = card_rect();
  card_.detach_to_desktop(Rect::from_xywh(from.x0, window_.y1 - 200, 300, 180), from, at);
  card_.pin_handoff_for_visual_review(Millis(1000));
  open_menu(Point{area_.x0 + 430, area_.y0 + 250});
}

bool WidgetsPage::wait_for_images() {
  images_->get(kSampleKey);
  return images_->block_until_idle(std::chrono::seconds(5));
}

}  // namespace gallery
