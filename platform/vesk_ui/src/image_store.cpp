#include "vesk_ui/image_store.hpp"

#include <SDL.h>
#include <SDL_image.h>
#include <cairo.h>

#include <algorithm>
#include <limits>

#include "vesk_ui/ink.hpp"
#include "vesk_ui/painter.hpp"

namespace vesk_ui::image_store {
namespace {

// Larger images are refused rather than decoded into gigabytes.
constexpr int kMaxSide = 16384;
constexpr std::int64_t kMaxPixels = 64ll << 20;

void init_codecs() {
  static std::once_flag once;
  std::call_once(once,
                 [] { IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG | IMG_INIT_TIF | IMG_INIT_WEBP); });
}

}  // namespace

Image::Image(cairo_surface_t* adopted) : surface_(adopted) {
  width_ = cairo_image_surface_get_width(surface_);
  height_ = cairo_image_surface_get_height(surface_);
  bytes_ = static_cast<std::size_t>(cairo_image_surface_get_stride(surface_)) *
           static_cast<std::size_t>(height_);
}

Image::~Image() {
  cairo_surface_destroy(surface_);
}

base::Result<ImagePtr> decode(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return base::make_error("the image is empty");
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return base::make_error("the image file is too large");
  }
  init_codecs();
  SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  if (rw == nullptr)
    return base::make_error(std::string("cannot read the image: ") + SDL_GetError());
  SDL_Surface* raw = IMG_Load_RW(rw, 1);
  if (raw == nullptr) {
    return base::make_error(std::string("cannot decode the image: ") + IMG_GetError());
  }
  if (raw->w <= 0 || raw->h <= 0 || raw->w > kMaxSide || raw->h > kMaxSide ||
      static_cast<std::int64_t>(raw->w) * raw->h > kMaxPixels) {
    SDL_FreeSurface(raw);
    return base::make_error("the image is too large to show");
  }
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(raw, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(raw);
  if (argb == nullptr) {
    return base::make_error(std::string("cannot convert the image: ") + SDL_GetError());
  }
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, argb->w, argb->h);
  if (cairo_surface_status(out) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(out);
    SDL_FreeSurface(argb);
    return base::make_error("out of memory for the image");
  }
  cairo_surface_flush(out);
  // Both are native-endian 32-bit ARGB; cairo wants premultiplied alpha.
  unsigned char* dst = cairo_image_surface_get_data(out);
  const int dst_stride = cairo_image_surface_get_stride(out);
  SDL_LockSurface(argb);
  for (int y = 0; y < argb->h; ++y) {
    const auto* s = reinterpret_cast<const std::uint32_t*>(
        static_cast<const unsigned char*>(argb->pixels) + y * argb->pitch);
    auto* d = reinterpret_cast<std::uint32_t*>(dst + y * dst_stride);
    for (int x = 0; x < argb->w; ++x) {
      const std::uint32_t p = s[x];
      const std::uint32_t a = p >> 24;
      if (a == 255) {
        d[x] = p;
      } else {
        auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        d[x] =
            (a << 24) | (mul((p >> 16) & 0xff) << 16) | (mul((p >> 8) & 0xff) << 8) | mul(p & 0xff);
      }
    }
  }
  SDL_UnlockSurface(argb);
  SDL_FreeSurface(argb);
  cairo_surface_mark_dirty(out);
  return ImagePtr(std::make_shared<const Image>(out));
}

ImageStore::ImageStore(Loader loader, Options options)
    : loader_(std::move(loader)), options_(options) {
  const unsigned n = std::max(1u, options_.workers);
  threads_.reserve(n);
  for (unsigned i = 0; i < n; ++i) threads_.emplace_back([this] { work(); });
}

ImageStore::~ImageStore() {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
    queue_.clear();
  }
  work_cv_.notify_all();
  for (auto& t : threads_) t.join();
}

Lookup ImageStore::get(std::string_view key) {
  std::lock_guard lock(mu_);
  std::string k(key);
  auto [it, inserted] = entries_.try_emplace(k);
  Entry& e = it->second;
  e.last_use = ++clock_;
  const bool retry = !inserted && e.state == State::Failed && e.missing &&
                     std::chrono::steady_clock::now() - e.failed_at >= options_.retry_missing_after;
  if (inserted || retry) {
    e.state = State::Loading;
    e.error.clear();
    queue_.push_back(std::move(k));
    work_cv_.notify_one();
  }
  return Lookup{e.state, e.image, e.error};
}

bool ImageStore::is_idle() const {
  std::lock_guard lock(mu_);
  return queue_.empty() && running_ == 0;
}

bool ImageStore::block_until_idle(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mu_);
  return idle_cv_.wait_for(lock, timeout, [this] { return queue_.empty() && running_ == 0; });
}

std::size_t ImageStore::memory_used() const {
  std::lock_guard lock(mu_);
  return used_;
}

void ImageStore::evict_locked(const std::string& keep) {
  while (used_ > options_.memory_budget) {
    auto victim = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->first == keep || it->second.state != State::Ready) continue;
      if (victim == entries_.end() || it->second.last_use < victim->second.last_use) victim = it;
    }
    if (victim == entries_.end()) return;  // only the newest is left: keep it over budget
    used_ -= victim->second.image->byte_size();
    entries_.erase(victim);
  }
}

void ImageStore::work() {
  std::unique_lock lock(mu_);
  for (;;) {
    work_cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) {
      // SDL keeps a per-thread error text; threads SDL did not start must
      // free it themselves.
      SDL_TLSCleanup();
      return;
    }
    std::string key = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    lock.unlock();

    std::optional<std::vector<std::uint8_t>> bytes;
    try {
      bytes = loader_(key);
    } catch (...) {
      bytes.reset();  // a loader that throws counts as one that found nothing
    }
    std::optional<base::Result<ImagePtr>> decoded;
    if (bytes) decoded.emplace(decode(*bytes));

    lock.lock();
    --running_;
    auto it = entries_.find(key);
    if (it != entries_.end()) {
      Entry& e = it->second;
      if (!decoded) {
        e.state = State::Failed;
        e.missing = true;
        e.error = "image not available";
        e.failed_at = std::chrono::steady_clock::now();
      } else if (!decoded->ok()) {
        e.state = State::Failed;
        e.missing = false;
        e.error = decoded->error();
      } else {
        e.state = State::Ready;
        e.image = std::move(decoded->value());
        used_ += e.image->byte_size();
        evict_locked(key);
      }
    }
    if (queue_.empty() && running_ == 0) idle_cv_.notify_all();
  }
}

}  // namespace vesk_ui::image_store

namespace vesk_ui {

void paint_image_cover(Painter& painter, const image_store::Image& image, Rect rect,
                       double corner_radius) {
  paint_image_cover(painter.cairo(), image, rect, corner_radius);
}

void paint_image_cover(cairo_t* cr, const image_store::Image& image, Rect rect,
                       double corner_radius) {
  if (rect.is_empty() || image.width() <= 0 || image.height() <= 0) return;
  const double sx = rect.width() / image.width();
  const double sy = rect.height() / image.height();
  const double s = std::max(sx, sy);
  const double w = image.width() * s;
  const double h = image.height() * s;
  cairo_save(cr);
  ink::rounded_rect_path(cr, rect.x0, rect.y0, rect.width(), rect.height(), corner_radius);
  cairo_clip(cr);
  cairo_translate(cr, rect.x0 + (rect.width() - w) / 2, rect.y0 + (rect.height() - h) / 2);
  cairo_scale(cr, s, s);
  cairo_set_source_surface(cr, image.surface(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_restore(cr);
}

}  // namespace vesk_ui
