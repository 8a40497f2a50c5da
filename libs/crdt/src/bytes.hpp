#pragma once
// Byte-level helpers shared by the change, snapshot, file and sync codecs:
// LEB128 varints, fixed-width little-endian integers, a bounds-checked reader
// and UTF-8 <-> code point conversion.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace crdt::detail {

class Writer {
 public:
  void u8(std::uint8_t v) { out_.push_back(v); }
  void uvar(std::uint64_t v) {
    while (v >= 0x80) {
      out_.push_back(static_cast<std::uint8_t>(v | 0x80));
      v >>= 7;
    }
    out_.push_back(static_cast<std::uint8_t>(v));
  }
  void svar(std::int64_t v) {
    uvar((static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63));
  }
  void u32le(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void u64le(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void raw(const void* p, std::size_t n) {
    auto* b = static_cast<const std::uint8_t*>(p);
    out_.insert(out_.end(), b, b + n);
  }
  void bytes(std::span<const std::uint8_t> b) {
    uvar(b.size());
    raw(b.data(), b.size());
  }
  void str(std::string_view s) {
    uvar(s.size());
    raw(s.data(), s.size());
  }
  std::vector<std::uint8_t>& buf() { return out_; }
  std::vector<std::uint8_t> take() { return std::move(out_); }
  std::size_t size() const { return out_.size(); }

 private:
  std::vector<std::uint8_t> out_;
};

// Every read checks bounds; the first failure latches `ok() == false` and
// further reads answer zeros, so decoders check once at the end of a record.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}
  bool ok() const { return ok_; }
  bool done() const { return pos_ >= in_.size(); }
  std::size_t remaining() const { return ok_ ? in_.size() - pos_ : 0; }
  std::size_t pos() const { return pos_; }
  void fail() {
    ok_ = false;
    pos_ = in_.size();
  }

  std::uint8_t u8() {
    if (pos_ >= in_.size()) return fail(), 0;
    return in_[pos_++];
  }
  std::uint64_t uvar() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (pos_ >= in_.size()) return fail(), 0;
      std::uint8_t b = in_[pos_++];
      if (shift == 63 && b > 1) return fail(), 0;
      v |= static_cast<std::uint64_t>(b & 0x7f) << shift;
      if (!(b & 0x80)) return v;
    }
    return fail(), 0;
  }
  std::int64_t svar() {
    std::uint64_t v = uvar();
    return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
  }
  std::uint32_t u32le() {
    auto s = take(4);
    if (s.size() < 4) return 0;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(s[i]) << (8 * i);
    return v;
  }
  std::uint64_t u64le() {
    auto s = take(8);
    if (s.size() < 8) return 0;
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(s[i]) << (8 * i);
    return v;
  }
  std::span<const std::uint8_t> take(std::size_t n) {
    if (!ok_ || n > in_.size() - pos_) return fail(), std::span<const std::uint8_t>{};
    auto s = in_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  std::span<const std::uint8_t> bytes() { return take(uvar()); }
  std::string str() {
    auto s = bytes();
    return std::string(reinterpret_cast<const char*>(s.data()), s.size());
  }
  // A count of items that each take at least `min_bytes`: refuses counts the
  // input cannot possibly hold, so a corrupt count never drives a huge reserve.
  std::size_t count(std::size_t min_bytes = 1) {
    std::uint64_t n = uvar();
    if (min_bytes && n > remaining() / min_bytes) return fail(), 0;
    return static_cast<std::size_t>(n);
  }

 private:
  std::span<const std::uint8_t> in_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// Decodes UTF-8; invalid sequences become U+FFFD. Answers false when any were.
bool utf8_to_code_points(std::string_view in, std::u32string& out);
void append_utf8(char32_t cp, std::string& out);
std::string to_utf8(std::u32string_view in);
std::size_t count_code_points(std::string_view valid_utf8);

std::uint32_t crc32(std::span<const std::uint8_t> data);

}  // namespace crdt::detail
