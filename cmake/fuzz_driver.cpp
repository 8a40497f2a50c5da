// Replays fuzz inputs without libFuzzer: every file under the given paths, then
// a fixed number of mutations of them from a seeded generator. Lets ordinary
// builds (and the sanitizer build) keep the fuzz targets honest.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  std::vector<std::vector<uint8_t>> seeds;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) {
      for (auto& e : std::filesystem::recursive_directory_iterator(p, ec))
        if (e.is_regular_file()) {
          std::ifstream in(e.path(), std::ios::binary);
          seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    } else if (std::filesystem::is_regular_file(p, ec)) {
      std::ifstream in(p, std::ios::binary);
      seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  if (seeds.empty()) seeds.push_back({});
  for (auto& s : seeds) LLVMFuzzerTestOneInput(s.data(), s.size());

  std::mt19937_64 rng(0x5eed);
  for (int round = 0; round < 20000; ++round) {
    std::vector<uint8_t> v = seeds[rng() % seeds.size()];
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      switch (rng() % 4) {
        case 0:
          if (!v.empty()) v[rng() % v.size()] = static_cast<uint8_t>(rng());
          break;
        case 1: v.insert(v.begin() + static_cast<long>(v.empty() ? 0 : rng() % (v.size() + 1)), static_cast<uint8_t>(rng())); break;
        case 2:
          if (!v.empty()) v.erase(v.begin() + static_cast<long>(rng() % v.size()));
          break;
        case 3:
          if (!v.empty()) v.resize(rng() % (v.size() + 1));
          break;
      }
    }
    LLVMFuzzerTestOneInput(v.data(), v.size());
  }
  std::printf("replayed %zu seeds and 20000 mutations\n", seeds.size());
  return 0;
}
