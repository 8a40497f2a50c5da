// Replays an editing trace into one text object and prints one JSON line:
// {"engine","patches","ok","apply_ms","save_ms","save_bytes","load_ms","peak_rss_mb"}
// usage: crdt_trace TRACE.json.gz [--commit-each]
#include <sys/resource.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "crdt/document.hpp"

namespace {

struct Patch {
  std::size_t pos;
  std::size_t del;
  std::string ins;
};

bool read_gz(const char* path, std::string& out) {
  gzFile f = gzopen(path, "rb");
  if (!f) return false;
  char buf[1 << 16];
  int n;
  while ((n = gzread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  gzclose(f);
  return n == 0;
}

double ms_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: crdt_trace TRACE.json.gz [--commit-each]\n");
    return 2;
  }
  const bool commit_each = argc > 2 && std::strcmp(argv[2], "--commit-each") == 0;
  std::string raw;
  if (!read_gz(argv[1], raw)) {
    std::fprintf(stderr, "crdt_trace: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<Patch> patches;
  std::string end_content;
  {
    auto j = nlohmann::json::parse(raw);
    end_content = j.at("endContent").get<std::string>();
    for (auto& txn : j.at("txns"))
      for (auto& p : txn.at("patches"))
        patches.push_back(
            {p.at(0).get<std::size_t>(), p.at(1).get<std::size_t>(), p.at(2).get<std::string>()});
  }
  raw.clear();
  raw.shrink_to_fit();

  crdt::Document doc;
  auto t = std::chrono::steady_clock::now();
  auto text = doc.put_object(crdt::ObjId::root(), "t", crdt::ObjType::Text).value();
  bool ok = true;
  for (auto& p : patches) {
    if (!doc.splice_text(text, p.pos, p.del, p.ins).ok()) ok = false;
    if (commit_each) doc.commit(0);
  }
  doc.commit(0);
  const double apply_ms = ms_since(t);
  ok = ok && doc.text(text) == end_content;

  t = std::chrono::steady_clock::now();
  auto bytes = doc.save();
  const double save_ms = ms_since(t);

  t = std::chrono::steady_clock::now();
  auto loaded = crdt::Document::load(bytes);
  const double load_ms = ms_since(t);
  if (!loaded.ok()) {
    std::fprintf(stderr, "crdt_trace: load failed: %s\n", loaded.error().c_str());
    ok = false;
  } else {
    auto t2 = loaded->get(crdt::ObjId::root(), "t");
    auto id = t2 ? t2->object(crdt::ObjType::Text) : std::nullopt;
    ok = ok && id && loaded->text(*id) == end_content;
  }

  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  nlohmann::json out = {
      {"engine", commit_each ? "vesk-crdt (commit each)" : "vesk-crdt"},
      {"patches", patches.size()},
      {"ok", ok},
      {"apply_ms", std::round(apply_ms * 10) / 10},
      {"save_ms", std::round(save_ms * 10) / 10},
      {"save_bytes", bytes.size()},
      {"load_ms", std::round(load_ms * 10) / 10},
      {"peak_rss_mb", ru.ru_maxrss / 1024},
  };
  std::printf("%s\n", out.dump().c_str());
  return ok ? 0 : 1;
}
