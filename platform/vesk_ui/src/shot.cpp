#include "vesk_ui/shot.hpp"

#include <unistd.h>

#include <cmath>
#include <system_error>

#include "frame.hpp"
#include "vesk_ui/text.hpp"

namespace vesk_ui {

struct ShotFrame::Impl {
  Theme theme;
  Size size;
  double scale = 1;
  std::shared_ptr<TextRenderer> text;
  cairo_surface_t* surface = nullptr;
  Instant instant = now();
  // No display: detached surfaces are drawn into the frame itself.
  floating_surface::DesktopHost desktop{nullptr};
  ~Impl() {
    if (surface) cairo_surface_destroy(surface);
  }
  detail::FrameEnv env() { return detail::FrameEnv{theme, *text, size, scale, instant, desktop}; }
};

base::Result<ShotFrame> ShotFrame::create(Theme theme, Size size, double scale,
                                          std::shared_ptr<TextRenderer> text) {
  if (!std::isfinite(size.w) || !std::isfinite(size.h) || size.w < 1 || size.h < 1) {
    return base::make_error("the shot size must be at least 1x1");
  }
  if (!std::isfinite(scale) || scale <= 0)
    return base::make_error("the shot scale must be above 0");
  double pw = std::ceil(size.w * scale), ph = std::ceil(size.h * scale);
  // Cairo's own limit on image surfaces.
  if (pw > 32767 || ph > 32767) {
    return base::make_error("the shot is too large (" + std::to_string(static_cast<long>(pw)) +
                            "x" + std::to_string(static_cast<long>(ph)) + " device pixels)");
  }
  auto impl = std::make_unique<Impl>();
  impl->theme = std::move(theme);
  impl->size = size;
  impl->scale = scale;
  impl->text = text ? std::move(text) : std::make_shared<TextRenderer>();
  impl->surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(pw), static_cast<int>(ph));
  if (cairo_surface_status(impl->surface) != CAIRO_STATUS_SUCCESS) {
    return base::make_error(std::string("cannot allocate the shot: ") +
                            cairo_status_to_string(cairo_surface_status(impl->surface)));
  }
  return ShotFrame(std::move(impl));
}

ShotFrame::ShotFrame(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ShotFrame::~ShotFrame() = default;
ShotFrame::ShotFrame(ShotFrame&&) noexcept = default;
ShotFrame& ShotFrame::operator=(ShotFrame&&) noexcept = default;

void ShotFrame::sync(Widget& widget, crdt::Document* document) {
  detail::frame_sync(widget, impl_->env(), document);
}

base::Status ShotFrame::layout(Widget& widget) {
  return detail::frame_layout(widget, impl_->env());
}

void ShotFrame::draw(Widget& widget) {
  detail::frame_draw(widget, impl_->env(), impl_->surface, false);
}

void ShotFrame::draw_floating_surfaces(Widget& widget) {
  detail::frame_draw(widget, impl_->env(), impl_->surface, true);
}

base::Status ShotFrame::write_png(const std::filesystem::path& path) const {
  if (path.empty()) return base::make_error("missing screenshot output");
  std::filesystem::path tmp = path;
  tmp += ".tmp-" + std::to_string(::getpid());
  cairo_status_t st = cairo_surface_write_to_png(impl_->surface, tmp.c_str());
  if (st != CAIRO_STATUS_SUCCESS) {
    std::error_code ignored;
    std::filesystem::remove(tmp, ignored);
    return base::make_error("cannot write " + path.string() + ": " + cairo_status_to_string(st));
  }
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(tmp, ignored);
    return base::make_error("cannot write " + path.string() + ": " + ec.message());
  }
  return {};
}

const Theme& ShotFrame::theme() const {
  return impl_->theme;
}
TextRenderer& ShotFrame::text() {
  return *impl_->text;
}
Size ShotFrame::size() const {
  return impl_->size;
}
double ShotFrame::scale() const {
  return impl_->scale;
}
Instant ShotFrame::instant() const {
  return impl_->instant;
}
void ShotFrame::set_instant(Instant at) {
  impl_->instant = at;
}
cairo_surface_t* ShotFrame::surface() const {
  return impl_->surface;
}

}  // namespace vesk_ui
