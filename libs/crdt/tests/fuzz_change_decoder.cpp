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
    // Whatever was accepted must survive a save/load round trip unchanged.
    auto back = crdt::Document::load(doc.save());
    if (!back.ok() || back->heads() != doc.heads()) __builtin_trap();
  }
  return 0;
}
