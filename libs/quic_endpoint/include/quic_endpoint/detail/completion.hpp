#pragma once
// A type-erased, move-only completion for void(error_code, size_t). The
// endpoint parks these while an operation waits for the network and invokes
// them through the handler's own executor, never inline on the endpoint's
// strand, so user code never runs inside the protocol engine.

#include <asio/associated_executor.hpp>
#include <asio/post.hpp>
#include <memory>
#include <system_error>

namespace quic::detail {

class Completion {
 public:
  Completion() = default;
  template <typename Handler>
  explicit Completion(Handler handler) : op_(std::make_unique<Op<Handler>>(std::move(handler))) {}

  explicit operator bool() const { return op_ != nullptr; }
  void operator()(std::error_code ec, std::size_t n) {
    auto op = std::move(op_);
    op->post(ec, n);
  }

 private:
  struct Base {
    virtual ~Base() = default;
    virtual void post(std::error_code ec, std::size_t n) = 0;
  };
  template <typename Handler>
  struct Op final : Base {
    explicit Op(Handler h) : handler(std::move(h)) {}
    void post(std::error_code ec, std::size_t n) override {
      auto ex = asio::get_associated_executor(handler);
      asio::post(ex, [h = std::move(handler), ec, n]() mutable { std::move(h)(ec, n); });
    }
    Handler handler;
  };
  std::unique_ptr<Base> op_;
};

}  // namespace quic::detail
