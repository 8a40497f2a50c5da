// Fuzzes the change decoder and validation through apply_changes: any input
// is refused cleanly or applied, and an applied change reads back.
#include <cstddef>
#include <cstdint>
#include <span>

#include "crdt/document.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  crdt::Document doc(crdt::ActorId{});
  auto st = doc.apply_changes(std::span(data, size));
  if (st.ok()) {
    // Whatever was accepted must replay identically in another replica.
    crdt::Document other(crdt::ActorId{1});
    if (!other.apply_changes(doc.encode_changes_since({})).ok() || other.heads() != doc.heads())
      __builtin_trap();
  }
  return 0;
}
