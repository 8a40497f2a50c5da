#pragma once
// Result<T>: a value or an error text a user can act on. Library calls that can
// fail return one of these; no exception crosses a library boundary.

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace base {

struct Error {
  std::string message;
};

inline Error make_error(std::string message) { return Error{std::move(message)}; }

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { assert(ok()); return std::get<0>(v_); }
  const T& value() const& { assert(ok()); return std::get<0>(v_); }
  T&& value() && { assert(ok()); return std::get<0>(std::move(v_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const std::string& error() const { assert(!ok()); return std::get<1>(v_).message; }
  Error take_error() && { assert(!ok()); return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error.message)), ok_(false) {}  // NOLINT
  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& error() const { assert(!ok_); return error_; }
  Error take_error() && { return Error{std::move(error_)}; }

 private:
  std::string error_;
  bool ok_ = true;
};

using Status = Result<void>;

}  // namespace base

// Propagates an error from an expression returning a Result; yields its value.
#define VESK_TRY(expr)                                          \
  __extension__({                                               \
    auto _vesk_r = (expr);                                      \
    if (!_vesk_r.ok()) return std::move(_vesk_r).take_error();  \
    std::move(_vesk_r).value();                                 \
  })
#define VESK_TRY_STATUS(expr)                                   \
  do {                                                          \
    auto _vesk_r = (expr);                                      \
    if (!_vesk_r.ok()) return std::move(_vesk_r).take_error();  \
  } while (0)
