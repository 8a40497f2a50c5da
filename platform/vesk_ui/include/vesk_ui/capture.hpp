#pragma once
// Screen capture through the desktop's screen-cast portal. The request runs
// on its own thread (the portal may show the user a chooser for a while) and
// answers once: the PipeWire node id of the chosen screen or window, or an
// error text. Without a session bus or a portal the answer is an error at
// once. The capture session lasts as long as the ScreenCapture handle.

#include <cstdint>
#include <memory>
#include <optional>

#include "base/result.hpp"

namespace vesk_ui::capture {

struct CaptureOptions {
  bool monitors = true;  // offer whole screens
  bool windows = true;   // offer single windows
  bool cursor = true;    // draw the pointer into the stream
};

using Answer = base::Result<std::uint32_t>;

class ScreenCapture {
 public:
  struct Shared;
  explicit ScreenCapture(std::shared_ptr<Shared> shared);
  ~ScreenCapture();  // cancels a request still waiting and ends the session
  ScreenCapture(ScreenCapture&&) noexcept;
  ScreenCapture& operator=(ScreenCapture&&) noexcept;

  // The answer when it has come (handed over once), else nothing.
  std::optional<Answer> try_take();
  // The request ended without an answer (only after the answer was taken or
  // when the worker could not run).
  bool closed() const;
  // Waits for the answer up to timeout_ms (for tools and tests).
  std::optional<Answer> wait(int timeout_ms);

 private:
  std::shared_ptr<Shared> shared_;
};

ScreenCapture request_screen_capture(const CaptureOptions& options = {});

}  // namespace vesk_ui::capture
