#include "vesk_ui/image_store.hpp"

#include <SDL.h>
#include <SDL_image.h>
#include <cairo.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <vector>

namespace {

using vesk_ui::image_store::ImagePtr;
using vesk_ui::image_store::ImageStore;
using vesk_ui::image_store::State;
using Bytes = std::vector<std::uint8_t>;

Bytes from_base64(const char* b64) {
  gsize n = 0;
  guchar* raw = g_base64_decode(b64, &n);
  Bytes out(raw, raw + n);
  g_free(raw);
  return out;
}

// 16 x 8: the left half opaque red, the right half half-transparent blue
// (large enough that lossy coding keeps the colours apart).
SDL_Surface* red_blue() {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 16, 8, 32, SDL_PIXELFORMAT_ARGB8888);
  for (int y = 0; y < 8; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(static_cast<char*>(s->pixels) + y * s->pitch);
    for (int x = 0; x < 16; ++x) row[x] = x < 8 ? 0xFFFF0000u : 0x800000FFu;
  }
  return s;
}

Bytes encode_with(int (*save)(SDL_Surface*, SDL_RWops*)) {
  SDL_Surface* s = red_blue();
  SDL_RWops* rw = SDL_RWFromFP(tmpfile(), SDL_TRUE);
  EXPECT_EQ(save(s, rw), 0) << SDL_GetError();
  Bytes out(static_cast<std::size_t>(SDL_RWsize(rw)));
  SDL_RWseek(rw, 0, RW_SEEK_SET);
  SDL_RWread(rw, out.data(), 1, out.size());
  SDL_RWclose(rw);
  SDL_FreeSurface(s);
  return out;
}

Bytes png() {
  return encode_with([](SDL_Surface* s, SDL_RWops* rw) { return IMG_SavePNG_RW(s, rw, 0); });
}
Bytes jpeg() {
  return encode_with([](SDL_Surface* s, SDL_RWops* rw) { return IMG_SaveJPG_RW(s, rw, 0, 95); });
}
Bytes bmp() {
  return encode_with([](SDL_Surface* s, SDL_RWops* rw) { return SDL_SaveBMP_RW(s, rw, 0); });
}

// An uncompressed little-endian RGB TIFF, 2 x 1: red, blue.
Bytes tiff() {
  Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  auto u32 = [&](unsigned v) {
    u16(v & 0xffff);
    u16(v >> 16);
  };
  auto entry = [&](unsigned tag, unsigned type, unsigned count, unsigned value) {
    u16(tag);
    u16(type);
    u32(count);
    if (type == 3 && count == 1) {
      u16(value);
      u16(0);
    } else {
      u32(value);
    }
  };
  u16(9);
  entry(256, 3, 1, 2);    // width
  entry(257, 3, 1, 1);    // height
  entry(258, 3, 3, 122);  // bits per sample, stored after the directory
  entry(259, 3, 1, 1);    // no compression
  entry(262, 3, 1, 2);    // RGB
  entry(273, 4, 1, 128);  // strip offset
  entry(277, 3, 1, 3);    // samples per pixel
  entry(278, 3, 1, 1);    // rows per strip
  entry(279, 4, 1, 6);    // strip byte count
  u32(0);
  for (int i = 0; i < 3; ++i) u16(8);
  for (std::uint8_t v : {255, 0, 0, 0, 0, 255}) b.push_back(v);
  return b;
}

std::uint32_t pixel(const ImagePtr& img, int x, int y) {
  cairo_surface_flush(img->surface());
  const unsigned char* d = cairo_image_surface_get_data(img->surface());
  return reinterpret_cast<const std::uint32_t*>(
      d + y * cairo_image_surface_get_stride(img->surface()))[x];
}

struct FormatCase {
  const char* name;
  Bytes bytes;
  int width;
  int height;
  std::uint32_t first_pixel;  // premultiplied ARGB
  int tolerance;              // per channel, for lossy formats
};

TEST(ImageStore, DecodesEverySupportedFormat) {
  const FormatCase cases[] = {
      {"png", png(), 16, 8, 0xFFFF0000u, 0},
      {"jpeg", jpeg(), 16, 8, 0xFFFF0000u, 24},
      {"bmp", bmp(), 16, 8, 0xFFFF0000u, 0},
      {"tiff", tiff(), 2, 1, 0xFFFF0000u, 0},
      // 1 x 1 files: a GIF with one black pixel and a lossless WebP.
      {"gif", from_base64("R0lGODlhAQABAIAAAAUEBAAAACwAAAAAAQABAAACAkQBADs="), 1, 1, 0xFF050404u,
       0},
      {"webp", from_base64("UklGRhoAAABXRUJQVlA4TA0AAAAvAAAAEAcQERGIiP4HAA=="), 1, 1, 0, 255},
  };
  for (const auto& c : cases) {
    auto r = vesk_ui::image_store::decode(c.bytes);
    ASSERT_TRUE(r.ok()) << c.name << ": " << r.error();
    const ImagePtr& img = r.value();
    EXPECT_EQ(img->width(), c.width) << c.name;
    EXPECT_EQ(img->height(), c.height) << c.name;
    const std::uint32_t p = pixel(img, 0, 0);
    for (int shift = 0; shift < 32; shift += 8) {
      const int got = static_cast<int>((p >> shift) & 0xff);
      const int want = static_cast<int>((c.first_pixel >> shift) & 0xff);
      EXPECT_LE(std::abs(got - want), c.tolerance) << c.name << " channel " << shift;
    }
  }
}

TEST(ImageStore, PremultipliesAlpha) {
  auto r = vesk_ui::image_store::decode(png());
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(pixel(r.value(), 12, 3), 0x80000080u);
}

TEST(ImageStore, RefusesWhatIsNotAnImage) {
  const Bytes whole = png();
  const Bytes cases[] = {{}, {'n', 'o', 'p', 'e'}, Bytes(whole.begin(), whole.begin() + 20)};
  for (const auto& b : cases) {
    auto r = vesk_ui::image_store::decode(b);
    ASSERT_FALSE(r.ok()) << b.size();
    EXPECT_FALSE(r.error().empty());
  }
}

TEST(ImageStore, DecodesOnWorkersAndCachesByKey) {
  std::atomic<int> calls{0};
  ImageStore store([&](std::string_view key) -> std::optional<Bytes> {
    ++calls;
    if (key == "good") return png();
    if (key == "broken") return Bytes{1, 2, 3};
    return std::nullopt;
  });
  EXPECT_EQ(store.get("good").state, State::Loading);
  store.get("broken");
  store.get("absent");
  ASSERT_TRUE(store.block_until_idle(std::chrono::seconds(5)));
  EXPECT_TRUE(store.is_idle());
  const auto good = store.get("good");
  ASSERT_EQ(good.state, State::Ready);
  EXPECT_EQ(good.image->width(), 16);
  const auto broken = store.get("broken");
  EXPECT_EQ(broken.state, State::Failed);
  EXPECT_NE(broken.error.find("decode"), std::string::npos) << broken.error;
  EXPECT_EQ(store.get("absent").state, State::Failed);
  EXPECT_EQ(calls.load(), 3) << "each key is loaded once";
  EXPECT_EQ(store.memory_used(), good.image->byte_size());
}

TEST(ImageStore, AsksAgainForMissingContentLater) {
  std::atomic<bool> arrived{false};
  vesk_ui::image_store::Options opts;
  opts.retry_missing_after = std::chrono::milliseconds(0);
  ImageStore store(
      [&](std::string_view) -> std::optional<Bytes> {
        if (!arrived) return std::nullopt;
        return png();
      },
      opts);
  store.get("late");
  ASSERT_TRUE(store.block_until_idle(std::chrono::seconds(5)));
  EXPECT_EQ(store.get("late").state, State::Loading) << "a missing key is queued again";
  ASSERT_TRUE(store.block_until_idle(std::chrono::seconds(5)));
  arrived = true;
  store.get("late");
  ASSERT_TRUE(store.block_until_idle(std::chrono::seconds(5)));
  EXPECT_EQ(store.get("late").state, State::Ready);
}

TEST(ImageStore, StaysWithinItsMemoryBudgetDroppingTheLeastRecentlyUsed) {
  vesk_ui::image_store::Options opts;
  opts.memory_budget = 2 * 16 * 8 * 4;  // two 16 x 8 images
  opts.workers = 1;
  ImageStore store([](std::string_view) -> std::optional<Bytes> { return png(); }, opts);
  for (const char* k : {"a", "b"}) {
    store.get(k);
    ASSERT_TRUE(store.block_until_idle(std::chrono::seconds(5)));
  }
  const ImagePtr held = store.get("a").image;  // "a" is now the most recently used
  store.get("c");
  ASSERT_TRUE(store.block_until_idle(std::chrono::seconds(5)));
  EXPECT_LE(store.memory_used(), opts.memory_budget);
  EXPECT_EQ(store.get("a").state, State::Ready);
  EXPECT_EQ(store.get("c").state, State::Ready);
  EXPECT_EQ(store.get("b").state, State::Loading) << "b was evicted and is decoded again";
  EXPECT_EQ(held->width(), 16) << "an evicted image stays valid for who holds it";
  ASSERT_TRUE(store.block_until_idle(std::chrono::seconds(5)));
}

TEST(ImageStore, BlockUntilIdleTimesOut) {
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  ImageStore store([gate](std::string_view) -> std::optional<Bytes> {
    gate.wait();
    return png();
  });
  store.get("slow");
  EXPECT_FALSE(store.block_until_idle(std::chrono::milliseconds(30)));
  EXPECT_FALSE(store.is_idle());
  release.set_value();
  EXPECT_TRUE(store.block_until_idle(std::chrono::seconds(5)));
}

TEST(ImageStore, PaintCoverFillsTheBoxAndCropsTheOverflow) {
  auto img = vesk_ui::image_store::decode(png());
  ASSERT_TRUE(img.ok());
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 40);
  cairo_t* cr = cairo_create(target);
  // A 2:1 image covering a 20 x 20 box: the middle of the image fills it.
  vesk_ui::paint_image_cover(cr, *img.value(), vesk_ui::Rect::from_xywh(10, 10, 20, 20));
  cairo_destroy(cr);
  cairo_surface_flush(target);
  const unsigned char* d = cairo_image_surface_get_data(target);
  const int stride = cairo_image_surface_get_stride(target);
  auto alpha = [&](int x, int y) { return d[y * stride + x * 4 + 3]; };
  EXPECT_EQ(alpha(5, 20), 0) << "nothing outside the box";
  EXPECT_EQ(alpha(35, 20), 0);
  EXPECT_EQ(alpha(11, 11), 255) << "the opaque red half covers the left";
  EXPECT_GT(alpha(28, 28), 100) << "the translucent half covers the right";
  EXPECT_LT(alpha(28, 28), 200);
  cairo_surface_destroy(target);
}

}  // namespace
