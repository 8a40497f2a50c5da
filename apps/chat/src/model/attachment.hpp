#pragma once
// One attached image, video or file; the bytes live in the blob store under
// `blob`.

#include <cstdint>
#include <string>
#include <variant>

namespace chat {

// The alternatives live in their own namespace: nested inside Attachment, their
// default member initialisers would not yet count when the variant is formed.
namespace attachment {

struct Image {
  std::string name;
  std::string blob;
  std::uint32_t w = 0;
  std::uint32_t h = 0;
  friend bool operator==(const Image&, const Image&) = default;
};
struct Video {
  std::string name;
  std::string blob;
  std::uint32_t w = 0;
  std::uint32_t h = 0;
  std::uint64_t size = 0;
  friend bool operator==(const Video&, const Video&) = default;
};
struct File {
  std::string name;
  std::string blob;
  std::uint64_t size = 0;
  friend bool operator==(const File&, const File&) = default;
};
}  // namespace attachment

struct Attachment {
  using Image = attachment::Image;
  using Video = attachment::Video;
  using File = attachment::File;

  using Variant = std::variant<Image, Video, File>;

  Variant value;

  Attachment() = default;
  template <typename T>
  requires std::is_constructible_v<Variant, T&&> &&
      (!std::is_same_v<std::decay_t<T>, Attachment>)Attachment(T&& v)
      : value(std::forward<T>(v)) {}  // NOLINT: implicit on purpose

  const std::string& name() const {
    return std::visit([](const auto& a) -> const std::string& { return a.name; }, value);
  }
  const std::string& blob() const {
    return std::visit([](const auto& a) -> const std::string& { return a.blob; }, value);
  }
  template <typename T>
  const T* get_if() const {
    return std::get_if<T>(&value);
  }

  friend bool operator==(const Attachment&, const Attachment&) = default;
};

}  // namespace chat
