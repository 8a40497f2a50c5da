#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <webp/encode.h>

#include <functional>

#include "strata/blobstore.hpp"
#include "temp_dir.hpp"

namespace strata::blobstore {
namespace {

using Encoder = std::function<Bytes(SDL_Surface*)>;

// A surface with a pattern, so that lossy encoders have something to keep.
SDL_Surface* make_surface(int w, int h) {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA32);
  auto* px = static_cast<std::uint8_t*>(s->pixels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = px + y * s->pitch + x * 4;
      p[0] = static_cast<std::uint8_t>(x * 7);
      p[1] = static_cast<std::uint8_t>(y * 5);
      p[2] = static_cast<std::uint8_t>(x ^ y);
      p[3] = 255;
    }
  return s;
}

// Encodes through an SDL writer into memory.
Bytes via_rw(SDL_Surface* s, const std::function<int(SDL_Surface*, SDL_RWops*)>& save) {
  std::vector<std::uint8_t> buf(1 << 20);
  SDL_RWops* rw = SDL_RWFromMem(buf.data(), static_cast<int>(buf.size()));
  if (save(s, rw) != 0) return {};
  buf.resize(static_cast<std::size_t>(SDL_RWtell(rw)));
  SDL_RWclose(rw);
  return buf;
}

Bytes encode_png(SDL_Surface* s) {
  return via_rw(s, [](SDL_Surface* s, SDL_RWops* rw) { return IMG_SavePNG_RW(s, rw, 0); });
}
Bytes encode_jpg(SDL_Surface* s) {
  return via_rw(s, [](SDL_Surface* s, SDL_RWops* rw) { return IMG_SaveJPG_RW(s, rw, 0, 90); });
}
Bytes encode_bmp(SDL_Surface* s) {
  return via_rw(s, [](SDL_Surface* s, SDL_RWops* rw) { return SDL_SaveBMP_RW(s, rw, 0); });
}
Bytes encode_webp(SDL_Surface* s) {
  std::uint8_t* out = nullptr;
  std::size_t n = WebPEncodeLosslessRGBA(static_cast<const std::uint8_t*>(s->pixels), s->w, s->h,
                                         s->pitch, &out);
  Bytes b(out, out + n);
  WebPFree(out);
  return b;
}
Bytes encode_tiff(SDL_Surface* s) {
  testing::TempDir dir;
  auto path = dir / "x.tif";
  TIFF* t = TIFFOpen(path.c_str(), "w");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, s->w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, s->h);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  std::uint16_t extra = EXTRASAMPLE_ASSOCALPHA;
  TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
  for (int y = 0; y < s->h; ++y)
    TIFFWriteScanline(t, static_cast<std::uint8_t*>(s->pixels) + y * s->pitch,
                      static_cast<std::uint32_t>(y), 0);
  TIFFClose(t);
  return testing::read_file(path);
}

// A 3 × 2 GIF written by hand: 8-bit codes with a clear code first, so the
// code width never grows and no compressor is needed.
Bytes gif_3x2() {
  return {'G',  'I', 'F',  '8', '9', 'a',  3, 0, 2, 0,    0x80, 0, 0,  // screen, 2-colour table
          0xff, 0,   0,    0,   0,   0xff,                             // table
          0x2c, 0,   0,    0,   0,   3,    0, 2, 0, 0,                 // image descriptor
          7,    8,   0x80, 0,   1,   0,    1, 0, 1, 0x81, 0,           // clear, 6 pixels, end
          0x3b};
}

TEST(Sniff, ReportsThePixelSizeOfEverySupportedFormat) {
  struct Case {
    const char* format;
    Encoder encode;
  };
  const Case cases[] = {
      {"png", encode_png},   {"jpeg", encode_jpg},  {"bmp", encode_bmp},
      {"webp", encode_webp}, {"tiff", encode_tiff},
  };
  SDL_Surface* s = make_surface(37, 21);
  for (const auto& c : cases) {
    Bytes bytes = c.encode(s);
    ASSERT_FALSE(bytes.empty()) << c.format;
    EXPECT_EQ(sniff(bytes), (ImageSize{37, 21})) << c.format;
  }
  SDL_FreeSurface(s);
  EXPECT_EQ(sniff(gif_3x2()), (ImageSize{3, 2}));
}

TEST(Sniff, AnythingElseIsZeroByZero) {
  SDL_Surface* s = make_surface(16, 9);
  Bytes png = encode_png(s);
  SDL_FreeSurface(s);
  Bytes header_only(png.begin(), png.begin() + 24);
  Bytes garbage_after_magic = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 1, 2, 3, 4, 5};
  // A TGA header: SDL2_image would guess it, but it is not a format we take.
  Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 8};
  tga.resize(tga.size() + 16, 0xff);
  const std::pair<const char*, Bytes> cases[] = {
      {"empty", {}},
      {"text", testing::bytes_of("hello, this is plain text\n")},
      {"png header only", header_only},
      {"png magic then garbage", garbage_after_magic},
      {"tga", tga},
  };
  for (const auto& [name, bytes] : cases) EXPECT_EQ(sniff(bytes), (ImageSize{})) << name;
}

}  // namespace
}  // namespace strata::blobstore
