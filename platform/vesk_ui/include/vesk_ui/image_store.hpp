#pragma once
// ImageStore: decodes images by key on worker threads and keeps the decoded
// pixels in memory within a byte budget (least recently used go first).
// get() never blocks: it answers what is there and queues the rest. The
// loader the owner gives turns a key into encoded bytes (PNG, JPEG, GIF,
// WebP, BMP or TIFF) and runs on the workers.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/result.hpp"
#include "vesk_ui/geometry.hpp"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace vesk_ui::image_store {

// A decoded image: premultiplied ARGB32 pixels in a cairo image surface.
// Immutable once made; shared by the cache and whoever is drawing it.
class Image {
 public:
  explicit Image(cairo_surface_t* adopted);
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  std::size_t byte_size() const { return bytes_; }
  cairo_surface_t* surface() const { return surface_; }

 private:
  cairo_surface_t* surface_;
  int width_ = 0;
  int height_ = 0;
  std::size_t bytes_ = 0;
};
using ImagePtr = std::shared_ptr<const Image>;

// Decodes one encoded image. The first frame of an animation is taken.
base::Result<ImagePtr> decode(std::span<const std::uint8_t> bytes);

// Answers the encoded bytes for a key, or nothing when they are not
// available (yet); called on a worker thread.
using Loader = std::function<std::optional<std::vector<std::uint8_t>>(std::string_view key)>;

enum class State : unsigned char { Loading, Ready, Failed };

struct Lookup {
  State state = State::Loading;
  ImagePtr image;     // set when Ready
  std::string error;  // set when Failed
};

struct Options {
  std::size_t memory_budget = 192u << 20;  // decoded bytes kept
  unsigned workers = 2;
  // A key whose loader found nothing is asked again after this long, so
  // content that arrives later (a blob still downloading) shows up.
  std::chrono::milliseconds retry_missing_after{1500};
};

class ImageStore {
 public:
  explicit ImageStore(Loader loader, Options options = {});
  ~ImageStore();
  ImageStore(const ImageStore&) = delete;
  ImageStore& operator=(const ImageStore&) = delete;

  // What the store holds for key; queues a decode when it holds nothing.
  Lookup get(std::string_view key);
  // No decode queued or running.
  bool is_idle() const;
  // Waits until idle or the timeout passes; answers is_idle().
  bool block_until_idle(std::chrono::milliseconds timeout) const;
  // Decoded bytes held now.
  std::size_t memory_used() const;

 private:
  struct Entry {
    State state = State::Loading;
    ImagePtr image;
    std::string error;
    bool missing = false;  // the loader had nothing; retried later
    std::chrono::steady_clock::time_point failed_at;
    std::uint64_t last_use = 0;
  };
  void work();
  void evict_locked(const std::string& keep);

  Loader loader_;
  Options options_;
  mutable std::mutex mu_;
  mutable std::condition_variable idle_cv_;
  std::condition_variable work_cv_;
  std::unordered_map<std::string, Entry> entries_;
  std::deque<std::string> queue_;
  std::size_t running_ = 0;
  std::size_t used_ = 0;
  std::uint64_t clock_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace vesk_ui::image_store

namespace vesk_ui {

class Painter;
using image_store::ImageStore;

// Paints image scaled to cover rect (cropping the overflow, centred) inside
// a rounded rectangle of the given corner radius.
void paint_image_cover(cairo_t* cr, const image_store::Image& image, Rect rect,
                       double corner_radius = 0);
void paint_image_cover(Painter& painter, const image_store::Image& image, Rect rect,
                       double corner_radius = 0);

}  // namespace vesk_ui
