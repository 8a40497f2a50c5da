// Fuzzes the file loader (header, records, checksums, snapshot decoding) and
// the in-memory snapshot loader with the same bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "base/log.hpp"
#include "crdt/document.hpp"

namespace {
std::filesystem::path scratch() {
  std::filesystem::path dir =
      std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  return dir / ("crdt_fuzz_" + std::to_string(::getpid()) + ".vesk");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    base::log::set_level(base::log::Level::Off);  // every damaged tail would log
    return true;
  }();
  (void)quiet;
  (void)crdt::Document::load(std::span(data, size));
  static const auto path = scratch();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  {
    auto doc = crdt::Document::open(path);
    if (doc.ok()) (void)doc->keys(crdt::ObjId::root());
  }
  std::filesystem::remove(path);
  return 0;
}
