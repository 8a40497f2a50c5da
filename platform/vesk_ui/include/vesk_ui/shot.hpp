#pragma once
// ShotFrame: one frame rendered off screen, the way the window would draw it,
// for screenshot mode and image tests. Call order:
//   create -> sync -> layout -> draw -> draw_floating_surfaces -> write_png

#include <cairo.h>

#include <filesystem>
#include <memory>

#include "base/result.hpp"
#include "vesk_ui/clock.hpp"
#include "vesk_ui/geometry.hpp"
#include "vesk_ui/theme.hpp"

namespace crdt {
class Document;
}

namespace vesk_ui {

class TextRenderer;
class Widget;

class ShotFrame {
 public:
  // A frame of `size` logical pixels at `scale` device pixels each. Fails for
  // an empty or non-finite size or scale, or a frame too large to allocate.
  // `text` may be shared between frames (fonts load once); a fresh renderer
  // is made when it is null.
  static base::Result<ShotFrame> create(Theme theme, Size size, double scale = 1,
                                        std::shared_ptr<TextRenderer> text = nullptr);
  ~ShotFrame();
  ShotFrame(ShotFrame&&) noexcept;
  ShotFrame& operator=(ShotFrame&&) noexcept;

  // The document is lent for the call only.
  void sync(Widget& widget, crdt::Document* document = nullptr);
  // Builds and solves the widget's layout and hands it the result; on failure
  // the widget is not told and the error is the display text.
  base::Status layout(Widget& widget);
  void draw(Widget& widget);
  void draw_floating_surfaces(Widget& widget);
  // Writes the pixels as PNG (through a temporary file renamed into place,
  // so a failed write never leaves a half file at `path`).
  base::Status write_png(const std::filesystem::path& path) const;

  const Theme& theme() const;
  TextRenderer& text();
  Size size() const;
  double scale() const;
  // Shots are rendered at one fixed instant, so time-driven state is stable.
  Instant instant() const;
  void set_instant(Instant at);
  cairo_surface_t* surface() const;  // ARGB32, premultiplied

 private:
  struct Impl;
  explicit ShotFrame(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk_ui
