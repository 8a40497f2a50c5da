#include "vesk_ui/capture.hpp"

#include <gio/gio.h>
#include <libportal/portal.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace vesk_ui::capture {

struct ScreenCapture::Shared {
  std::mutex mu;
  std::condition_variable cv;
  std::optional<Answer> answer;
  bool answered = false;  // an answer was given (maybe taken already)
  bool taken = false;
  bool finished = false;  // the worker has ended
  GCancellable* cancel = g_cancellable_new();
  ~Shared() { g_object_unref(cancel); }

  void give(Answer a) {
    std::lock_guard lock(mu);
    if (answered) return;
    answer.emplace(std::move(a));
    answered = true;
    cv.notify_all();
  }
};

namespace {

constexpr char kPortalName[] = "org.freedesktop.portal.Desktop";

// Asks the bus whether anyone owns or can start the portal, with a short
// timeout so a broken bus answers promptly.
bool portal_reachable(GDBusConnection* bus) {
  for (const char* method : {"NameHasOwner", "ListActivatableNames"}) {
    const bool has_owner = std::string(method) == "NameHasOwner";
    GError* err = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
        has_owner ? g_variant_new("(s)", kPortalName) : nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE,
        2000, nullptr, &err);
    if (reply == nullptr) {
      g_clear_error(&err);
      continue;
    }
    bool found = false;
    if (has_owner) {
      gboolean owned = FALSE;
      g_variant_get(reply, "(b)", &owned);
      found = owned != FALSE;
    } else {
      GVariantIter* it = nullptr;
      const char* name = nullptr;
      g_variant_get(reply, "(as)", &it);
      while (g_variant_iter_loop(it, "&s", &name))
        found = found || std::string(name) == kPortalName;
      g_variant_iter_free(it);
    }
    g_variant_unref(reply);
    if (found) return true;
  }
  return false;
}

struct Run {
  std::shared_ptr<ScreenCapture::Shared> shared;
  XdpSession* session = nullptr;
  bool done = false;
};

void on_started(GObject* source, GAsyncResult* res, gpointer data) {
  auto* run = static_cast<Run*>(data);
  GError* err = nullptr;
  if (!xdp_session_start_finish(XDP_SESSION(source), res, &err)) {
    run->shared->give(base::make_error(std::string("screen capture was not started: ") +
                                       (err != nullptr ? err->message : "cancelled")));
    g_clear_error(&err);
    run->done = true;
    return;
  }
  GVariant* streams = xdp_session_get_streams(XDP_SESSION(source));
  std::optional<std::uint32_t> node;
  if (streams != nullptr && g_variant_is_of_type(streams, G_VARIANT_TYPE("a(ua{sv})")) &&
      g_variant_n_children(streams) > 0) {
    guint32 id = 0;
    GVariant* first = g_variant_get_child_value(streams, 0);
    g_variant_get_child(first, 0, "u", &id);
    g_variant_unref(first);
    node = id;
  }
  if (node) {
    run->shared->give(*node);
  } else {
    run->shared->give(base::make_error("the portal answered without a screen stream"));
    run->done = true;
  }
}

void on_created(GObject* source, GAsyncResult* res, gpointer data) {
  auto* run = static_cast<Run*>(data);
  GError* err = nullptr;
  run->session = xdp_portal_create_screencast_session_finish(XDP_PORTAL(source), res, &err);
  if (run->session == nullptr) {
    run->shared->give(base::make_error(std::string("the screen-cast portal refused: ") +
                                       (err != nullptr ? err->message : "cancelled")));
    g_clear_error(&err);
    run->done = true;
    return;
  }
  xdp_session_start(run->session, nullptr, run->shared->cancel, on_started, run);
}

void work(std::shared_ptr<ScreenCapture::Shared> shared, CaptureOptions options) {
  GError* err = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &err);
  if (bus == nullptr) {
    shared->give(base::make_error(std::string("screen capture needs the desktop session bus: ") +
                                  (err != nullptr ? err->message : "not found")));
    g_clear_error(&err);
    return;
  }
  const bool reachable = portal_reachable(bus);
  g_object_unref(bus);
  if (!reachable) {
    shared->give(base::make_error("no screen-cast portal on this desktop"));
    return;
  }
  GMainContext* ctx = g_main_context_new();
  g_main_context_push_thread_default(ctx);
  XdpPortal* portal = xdp_portal_new();
  Run run{shared};
  int outputs = 0;
  if (options.monitors) outputs |= XDP_OUTPUT_MONITOR;
  if (options.windows) outputs |= XDP_OUTPUT_WINDOW;
  if (outputs == 0) outputs = XDP_OUTPUT_MONITOR;
  xdp_portal_create_screencast_session(
      portal, static_cast<XdpOutputType>(outputs), XDP_SCREENCAST_FLAG_NONE,
      options.cursor ? XDP_CURSOR_MODE_EMBEDDED : XDP_CURSOR_MODE_HIDDEN, XDP_PERSIST_MODE_NONE,
      nullptr, shared->cancel, on_created, &run);
  // Runs until the request fails or the owner lets go of the capture; the
  // session (and so the stream) lives until then.
  while (!run.done && !g_cancellable_is_cancelled(shared->cancel)) {
    g_main_context_iteration(ctx, TRUE);
  }
  if (run.session != nullptr) {
    xdp_session_close(run.session);
    g_object_unref(run.session);
  }
  // Let the cancelled calls deliver their callbacks before run goes away.
  while (g_main_context_iteration(ctx, FALSE)) {
  }
  g_object_unref(portal);
  g_main_context_pop_thread_default(ctx);
  g_main_context_unref(ctx);
}

}  // namespace

ScreenCapture::ScreenCapture(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
ScreenCapture::ScreenCapture(ScreenCapture&&) noexcept = default;
ScreenCapture& ScreenCapture::operator=(ScreenCapture&& o) noexcept {
  if (this != &o) {
    if (shared_) g_cancellable_cancel(shared_->cancel);
    shared_ = std::move(o.shared_);
  }
  return *this;
}

ScreenCapture::~ScreenCapture() {
  if (shared_) g_cancellable_cancel(shared_->cancel);
}

std::optional<Answer> ScreenCapture::try_take() {
  if (!shared_) return std::nullopt;
  std::lock_guard lock(shared_->mu);
  if (!shared_->answer) return std::nullopt;
  shared_->taken = true;
  std::optional<Answer> out = std::move(shared_->answer);
  shared_->answer.reset();
  return out;
}

bool ScreenCapture::closed() const {
  if (!shared_) return true;
  std::lock_guard lock(shared_->mu);
  return shared_->finished && !shared_->answer.has_value();
}

std::optional<Answer> ScreenCapture::wait(int timeout_ms) {
  if (!shared_) return std::nullopt;
  {
    std::unique_lock lock(shared_->mu);
    shared_->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                         [&] { return shared_->answer.has_value() || shared_->finished; });
  }
  return try_take();
}

ScreenCapture request_screen_capture(const CaptureOptions& options) {
  auto shared = std::make_shared<ScreenCapture::Shared>();
  std::thread([shared, options] {
    work(shared, options);
    std::lock_guard lock(shared->mu);
    shared->finished = true;
    shared->cv.notify_all();
  }).detach();
  return ScreenCapture(shared);
}

}  // namespace vesk_ui::capture
