#pragma once
// The snapshot form of ops: each field in a column of its own, and ids as
// small deltas ("same object as the op before", "left neighbour is my own
// previous element"), so that zlib finds long repeats. Actor indices are
// those of the op's change, exactly as in the change encoding.

#include <cstdint>
#include <optional>

#include "bytes.hpp"
#include "change.hpp"

namespace crdt::detail {

class OpColumnWriter {
 public:
  void put(const Op& op, std::uint64_t counter);
  void write_to(Writer& body);

 private:
  Writer kind_, obj_, ref_, right_, len_, text_, misc_;
  OpId prev_obj_;
  OpId prev_right_;
};

class OpColumnReader {
 public:
  // Takes the columns from `body`; false when they are malformed.
  bool read_from(Reader& body);
  // The next op, whose id has `counter`; false on malformed input.
  bool get(Op& op, std::uint64_t counter, std::size_t n_actors);

 private:
  OpId id(Reader& r, std::uint64_t counter, std::size_t n_actors, bool allow_none);
  Reader kind_{{}}, obj_{{}}, ref_{{}}, right_{{}}, len_{{}}, text_{{}}, misc_{{}};
  OpId prev_obj_;
  OpId prev_right_;
};

}  // namespace crdt::detail
