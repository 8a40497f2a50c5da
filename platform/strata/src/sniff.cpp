// Image sizes come from SDL2_image, the decoder the rest of the program uses,
// so what we report is what will later display.

#include <SDL.h>
#include <SDL_image.h>

#include <climits>
#include <mutex>

#include "strata/blobstore.hpp"

namespace strata::blobstore {
namespace {

void init_codecs() {
  static std::once_flag once;
  std::call_once(once,
                 [] { IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG | IMG_INIT_TIF | IMG_INIT_WEBP); });
}

// Only the six formats we promise; SDL2_image would also take guesses at
// headerless formats such as TGA, which would make any byte soup an "image".
const char* image_type(SDL_RWops* rw) {
  if (IMG_isPNG(rw)) return "PNG";
  if (IMG_isJPG(rw)) return "JPG";
  if (IMG_isGIF(rw)) return "GIF";
  if (IMG_isWEBP(rw)) return "WEBP";
  if (IMG_isBMP(rw)) return "BMP";
  if (IMG_isTIF(rw)) return "TIF";
  return nullptr;
}

}  // namespace

ImageSize sniff(ByteView bytes) {
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return {};
  init_codecs();
  SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  if (rw == nullptr) return {};
  const char* type = image_type(rw);
  if (type == nullptr) {
    SDL_RWclose(rw);
    return {};
  }
  SDL_Surface* surface = IMG_LoadTyped_RW(rw, 1, type);
  if (surface == nullptr) return {};
  ImageSize size{static_cast<std::uint32_t>(surface->w), static_cast<std::uint32_t>(surface->h)};
  SDL_FreeSurface(surface);
  return size;
}

}  // namespace strata::blobstore
