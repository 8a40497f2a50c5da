#pragma once
// Small POSIX helpers for the store: an owned descriptor and whole-buffer I/O
// that survives signals and short writes.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

namespace strata::detail {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

inline std::string errno_text(int err) {
  return std::error_code(err, std::generic_category()).message();
}

inline bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Reads up to `size` bytes; answers how many, or -1 on error.
inline ssize_t read_some(int fd, std::uint8_t* data, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

}  // namespace strata::detail
