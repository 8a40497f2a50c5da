#include "strata/blobstore.hpp"

#include <mutex>

namespace strata::blobstore {
namespace {

std::mutex g_mutex;
std::shared_ptr<BlobStore> g_store;

base::Error no_store() {
  return base::make_error("no blob store is installed");
}

}  // namespace

void set_store(std::shared_ptr<BlobStore> store) {
  std::lock_guard lock(g_mutex);
  g_store = std::move(store);
}

std::shared_ptr<BlobStore> store() {
  std::lock_guard lock(g_mutex);
  return g_store;
}

std::optional<Bytes> get(std::string_view ref) {
  auto s = store();
  return s ? s->get(ref) : std::nullopt;
}

base::Result<std::string> put(ByteView bytes) {
  auto s = store();
  if (!s) return no_store();
  return s->put(bytes);
}

base::Result<std::string> put_checked(std::string_view expected_ref, ByteView bytes) {
  auto s = store();
  if (!s) return no_store();
  return s->put_checked(expected_ref, bytes);
}

base::Result<std::size_t> evict_unreferenced(const std::set<std::string>& keep) {
  auto s = store();
  if (!s) return no_store();
  return s->evict_unreferenced(keep);
}

bool has(std::string_view ref) {
  auto s = store();
  return s && s->has(ref);
}

BlobState state(std::string_view ref) {
  return has(ref) ? BlobState::Present : BlobState::Unavailable;
}

}  // namespace strata::blobstore
