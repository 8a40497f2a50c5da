// Fuzzes the sync message decoder: a document with content receives any bytes
// and must either refuse them or stay consistent and able to answer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "crdt/document.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  crdt::ActorId actor{};
  actor.fill(0xee);
  crdt::Document doc(actor);
  auto t = doc.put_object(crdt::ObjId::root(), "t", crdt::ObjType::Text).value();
  (void)doc.splice_text(t, 0, 0, "base");
  doc.commit(1);
  crdt::SyncState state;
  const auto before = doc.changes_count();
  auto st = doc.receive_sync_message(state, std::span(data, size));
  if (!st.ok() && doc.changes_count() < before) __builtin_trap();
  (void)doc.generate_sync_message(state);
  (void)doc.text(t);
  return 0;
}
