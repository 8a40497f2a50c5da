#include "doc/demo_pictures.hpp"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>

namespace chat {
namespace {

struct Rgb {
  int r, g, b;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// The decoded picture, read back through Cairo's own PNG reader.
class Decoded {
 public:
  explicit Decoded(const std::vector<std::uint8_t>& png) {
    struct Reader {
      const std::vector<std::uint8_t>* png;
      std::size_t at = 0;
    } reader{&png};
    surface_ = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
          auto* r = static_cast<Reader*>(closure);
          if (r->at + length > r->png->size()) return CAIRO_STATUS_READ_ERROR;
          std::memcpy(data, r->png->data() + r->at, length);
          r->at += length;
          return CAIRO_STATUS_SUCCESS;
        },
        &reader);
  }
  ~Decoded() { cairo_surface_destroy(surface_); }
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;

  int width() const { return cairo_image_surface_get_width(surface_); }
  int height() const { return cairo_image_surface_get_height(surface_); }
  Rgb at(int x, int y) const {
    cairo_surface_flush(surface_);
    const unsigned char* row =
        cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
    std::uint32_t px;
    std::memcpy(&px, row + x * 4, 4);
    return {static_cast<int>((px >> 16) & 0xff), static_cast<int>((px >> 8) & 0xff),
            static_cast<int>(px & 0xff)};
  }

 private:
  cairo_surface_t* surface_;
};

struct Probe {
  const char* what;
  int x, y;
  Rgb expected;
};

void expect_probes(const Decoded& picture, std::initializer_list<Probe> probes) {
  for (const auto& p : probes) EXPECT_EQ(picture.at(p.x, p.y), p.expected) << p.what;
}

TEST(DemoPictures, CallGridHasFourTilesAndTheSpeakerOutline) {
  auto png = demo_picture_png("call-grid");
  ASSERT_TRUE(png.has_value());
  Decoded picture(*png);
  ASSERT_EQ(picture.width(), 640);
  ASSERT_EQ(picture.height(), 360);
  expect_probes(picture, {
                             {"gradient top", 5, 0, {26, 28, 38}},
                             {"gradient bottom", 5, 359, {17, 18, 26}},
                             {"blue upper half", 26 + 250, 26 + 20, {76, 92, 138}},
                             {"blue body", 26 + 250, 26 + 120, {58, 74, 120}},
                             {"blue avatar ring", 26 + 143, 26 + 67 - 32, {120, 158, 255}},
                             {"blue avatar centre", 26 + 143, 26 + 67, {146, 184, 255}},
                             {"name bar", 26 + 60, 26 + 125, {12, 13, 18}},
                             {"speaker outline left", 27, 26 + 73, {88, 214, 140}},
                             {"speaker outline bottom", 26 + 143, 26 + 145, {88, 214, 140}},
                             {"inside the outline", 26 + 5, 26 + 100, {58, 74, 120}},
                             {"violet body, no outline", 328 + 1, 26 + 100, {70, 60, 96}},
                             {"violet avatar centre", 328 + 143, 26 + 67, {202, 176, 255}},
                             {"teal upper half", 26 + 250, 188 + 20, {72, 102, 102}},
                             {"teal avatar ring", 26 + 143 + 32, 188 + 67, {120, 214, 200}},
                             {"rust body", 328 + 250, 188 + 120, {92, 72, 66}},
                             {"rust avatar centre", 328 + 143, 188 + 67, {255, 204, 176}},
                         });
  // The gap shows the background, darker than any tile.
  EXPECT_LT(picture.at(320, 100).b, 38);
  // Rounded corners: the very corner pixel of a tile is background.
  EXPECT_LT(picture.at(26, 26).b, 50);
}

TEST(DemoPictures, SharedShotIsACardWithTitleBarAndTextLines) {
  auto png = demo_picture_png("shared-shot");
  ASSERT_TRUE(png.has_value());
  Decoded picture(*png);
  ASSERT_EQ(picture.width(), 620);
  ASSERT_EQ(picture.height(), 400);
  const Rgb card{244, 245, 248}, line{212, 216, 224}, mark{126, 150, 240};
  expect_probes(picture, {
                             {"gradient top", 5, 0, {32, 34, 44}},
                             {"gradient bottom", 5, 399, {22, 23, 31}},
                             {"card", 300, 350, card},
                             {"title bar", 300, 50, {94, 122, 232}},
                             {"first dot", 50, 51, {255, 255, 255}},
                             {"third dot", 90, 51, {255, 255, 255}},
                             {"between dots", 60, 51, {94, 122, 232}},
                             {"line 0 start", 60, 110, line},
                             {"line 0 end", 510, 110, line},
                             {"line 1 highlight", 60, 148, mark},
                             {"line 1 past highlight", 150, 148, line},
                             {"line 1 is short", 410, 148, card},
                             {"line 2 start", 60, 186, line},
                             {"line 4 highlight", 100, 262, mark},
                             {"line 5 start", 60, 300, line},
                             {"below the lines", 300, 340, card},
                         });
}

TEST(DemoPictures, OtherNamesHaveNoPicture) {
  for (const char* name : {"", "call", "Call-Grid", "shared-shot.png"})
    EXPECT_FALSE(demo_picture_png(name).has_value()) << name;
}

}  // namespace
}  // namespace chat
