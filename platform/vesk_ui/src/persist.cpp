#include "vesk_ui/persist.hpp"

#include <cstdlib>
#include <system_error>

#include "base/log.hpp"

#if VESK_UI_HAS_CRDT
#include "crdt/document.hpp"
#endif

namespace vesk_ui::persist {

namespace {

// An id is used as one directory name; anything that could climb out of the
// framework's directory is replaced.
std::string safe_dir_name(std::string_view app_id) {
  if (app_id.empty() || app_id == "." || app_id == ".." ||
      app_id.find_first_of("/\\") != std::string_view::npos ||
      app_id.find('\0') != std::string_view::npos) {
    return "app";
  }
  return std::string(app_id);
}

}  // namespace

std::filesystem::path default_path(std::string_view app_id) {
  std::filesystem::path root;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x && x[0] == '/') {
    root = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    root = std::filesystem::path(h) / ".local/share";
  } else {
    return {};
  }
  return root / "vesk_ui" / safe_dir_name(app_id) / "document.vdoc";
}

#if VESK_UI_HAS_CRDT

bool available() {
  return true;
}

namespace {

DocumentResult in_memory() {
  return DocumentPtr(std::make_shared<crdt::Document>());
}

DocumentResult open_file(const std::filesystem::path& path, const OpenOptions& options) {
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) {
    return base::make_error("cannot create the folder " + path.parent_path().string() + ": " +
                            ec.message());
  }
  crdt::OpenOptions o;
  o.flush_interval_ms = options.flush_interval_ms;
  auto doc = crdt::Document::open(path, o);
  if (!doc.ok()) return base::make_error("cannot open " + path.string() + ": " + doc.error());
  const auto& report = doc->open_report();
  if (report.dropped_bytes > 0) {
    base::log::warn("vesk_ui", "{}: cut {} damaged bytes from the end ({})", path.string(),
                    report.dropped_bytes, report.dropped_reason);
  }
  return DocumentPtr(std::make_shared<crdt::Document>(std::move(doc).value()));
}

}  // namespace

DocumentResult open(std::string_view app_id, const OpenOptions& options) {
  if (options.in_memory) return in_memory();
  auto path = default_path(app_id);
  if (path.empty()) {
    base::log::warn("vesk_ui",
                    "no data folder is known (HOME is not set); the document lives "
                    "in memory and is lost at exit");
    return in_memory();
  }
  return open_file(path, options);
}

DocumentResult open_migrating(std::string_view app_id, const OpenOptions& options,
                              const std::filesystem::path& path) {
  if (options.in_memory) return in_memory();
  std::error_code ec;
  bool fresh = !std::filesystem::exists(path, ec);
  auto old = default_path(app_id);
  bool migrate = fresh && !old.empty() && old != path && std::filesystem::exists(old, ec);
  auto doc = VESK_TRY(open_file(path, options));
  if (migrate) {
    auto previous = crdt::Document::open(old);
    if (!previous.ok()) {
      base::log::warn("vesk_ui", "could not carry over {}: {}", old.string(), previous.error());
    } else if (auto merged = doc->merge(*previous); !merged.ok()) {
      base::log::warn("vesk_ui", "could not carry over {}: {}", old.string(), merged.error());
    } else {
      VESK_TRY_STATUS(doc->flush());
      base::log::info("vesk_ui", "carried over the document from {}", old.string());
    }
  }
  return doc;
}

#else

bool available() {
  return false;
}

namespace {
base::Error missing() {
  return base::make_error("this build carries no document engine, so no document can be opened");
}
}  // namespace

DocumentResult open(std::string_view, const OpenOptions&) {
  return missing();
}
DocumentResult open_migrating(std::string_view, const OpenOptions&, const std::filesystem::path&) {
  return missing();
}

#endif

}  // namespace vesk_ui::persist
