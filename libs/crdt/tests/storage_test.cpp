// The document file: creation, reopening, damaged tails, refused files,
// locking, compaction, and a writer killed at random moments.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "crdt/document.hpp"
#include "test_util.hpp"

namespace crdt {
namespace {

namespace fs = std::filesystem;
const ObjId kRoot = ObjId::root();

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() /
            ("crdt_storage_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  fs::path operator/(const char* name) const { return path_ / name; }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

std::vector<std::uint8_t> read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void write_all(const fs::path& p, const std::vector<std::uint8_t>& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A file with three committed changes; answers the dump of each stage.
std::vector<std::string> make_file(const fs::path& p) {
  std::vector<std::string> stages;
  auto d = Document::open(p).value();
  auto t = d.put_object(kRoot, "draft", ObjType::Text).value();
  d.commit();
  stages.push_back(testing::dump(d));
  for (const char* s : {"hel", "hello"}) {
    EXPECT_TRUE(splice_text_diffed(d, t, s).ok());
    d.commit();
    stages.push_back(testing::dump(d));
  }
  return stages;
}

TEST(CrdtStorage, MissingFileIsCreatedAndReopensWithEverything) {
  TempDir dir;
  const auto p = dir / "doc.vesk";
  ActorId first_actor;
  std::vector<ChangeHash> heads;
  {
    auto d = Document::open(p);
    ASSERT_TRUE(d.ok()) << d.error();
    EXPECT_TRUE(d->open_report().created);
    ASSERT_TRUE(d->put(kRoot, "k", std::string("v")).ok());
    d->commit();
    // Written before commit returned: a copy of the file already holds it.
    fs::copy_file(p, dir / "copy.vesk");
    ASSERT_TRUE(d->flush().ok());
    first_actor = d->actor();
    heads = d->heads();
  }
  auto copy = Document::open(dir / "copy.vesk").value();
  EXPECT_EQ(*copy.get(kRoot, "k")->str(), "v");
  auto d = Document::open(p).value();
  EXPECT_FALSE(d.open_report().created);
  EXPECT_EQ(d.open_report().changes, 1u);
  EXPECT_EQ(d.open_report().dropped_bytes, 0u);
  EXPECT_EQ(d.heads(), heads);
  EXPECT_NE(d.actor(), first_actor) << "each open writes as a fresh actor";
}

TEST(CrdtStorage, SecondOpenOfALiveFileIsRefused) {
  TempDir dir;
  auto a = Document::open(dir / "doc.vesk").value();
  auto b = Document::open(dir / "doc.vesk");
  ASSERT_FALSE(b.ok());
  EXPECT_NE(b.error().find("already open"), std::string::npos) << b.error();
}

TEST(CrdtStorage, DamagedTailIsCutAndReported) {
  struct Damage {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> apply;
    std::size_t stages_left;  // complete changes that must survive
  };
  const std::vector<Damage> cases = {
      {"torn last record", [](auto& b) { b.resize(b.size() - 3); }, 2},
      {"flipped byte in last record", [](auto& b) { b[b.size() - 2] ^= 0x20; }, 2},
      {"junk appended",
       [](auto& b) {
         b.insert(b.end(), {0x01, 0xff, 0xff, 0x00});
       },
       3},
      {"zeros appended", [](auto& b) { b.insert(b.end(), 64, 0); }, 3},
      {"half a record header", [](auto& b) { b.push_back(0x01); }, 3},
  };
  for (auto& c : cases) {
    TempDir dir;
    const auto p = dir / "doc.vesk";
    const auto stages = make_file(p);
    auto bytes = read_all(p);
    c.apply(bytes);
    write_all(p, bytes);
    {
      auto d = Document::open(p);
      ASSERT_TRUE(d.ok()) << c.name << ": " << d.error();
      EXPECT_GT(d->open_report().dropped_bytes, 0u) << c.name;
      EXPECT_FALSE(d->open_report().dropped_reason.empty()) << c.name;
      EXPECT_EQ(testing::dump(*d), stages[c.stages_left - 1]) << c.name;
      // The document goes on: new writes land after the cut.
      ASSERT_TRUE(d->put(kRoot, "after", true).ok());
      d->commit();
    }
    auto again = Document::open(p).value();
    EXPECT_EQ(again.open_report().dropped_bytes, 0u) << c.name;
    EXPECT_EQ(again.get(kRoot, "after")->boolean(), true) << c.name;
  }
}

TEST(CrdtStorage, ForeignOrUnreadableFilesAreRefusedAndLeftAlone) {
  TempDir dir;
  const auto good = dir / "good.vesk";
  make_file(good);
  const auto valid = read_all(good);
  auto other_version = std::vector<std::uint8_t>(valid.begin(), valid.begin() + 16);
  other_version[8] = 9;  // version 9 with a matching header checksum
  const auto crc = static_cast<std::uint32_t>(::crc32(0, other_version.data(), 12));
  for (int i = 0; i < 4; ++i) other_version[12 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases = {
      {"garbage", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', 1, 2, 3, 4, 5}},
      {"empty", {}},
      {"truncated header", std::vector<std::uint8_t>(valid.begin(), valid.begin() + 11)},
      {"corrupt header",
       [&] {
         auto b = valid;
         b[13] ^= 1;
         return b;
       }()},
      {"unknown version", other_version},
  };
  for (auto& [name, bytes] : cases) {
    const auto p = dir / "x.vesk";
    write_all(p, bytes);
    auto d = Document::open(p);
    ASSERT_FALSE(d.ok()) << name;
    if (std::string(name) == "unknown version") {
      EXPECT_NE(d.error().find("version 9"), std::string::npos) << d.error();
    }
    EXPECT_EQ(read_all(p), bytes) << name << " must stay untouched";
  }
}

TEST(CrdtStorage, CompactionKeepsEverythingAndShrinksTheFile) {
  TempDir dir;
  const auto p = dir / "doc.vesk";
  OpenOptions opts;
  opts.compact_min_log_bytes = 4096;
  std::string expect;
  std::vector<ChangeHash> heads;
  {
    auto d = Document::open(p, opts).value();
    auto t = d.put_object(kRoot, "t", ObjType::Text).value();
    for (int i = 0; i < 3000; ++i) {
      ASSERT_TRUE(d.splice_text(t, d.length(t), 0, "x").ok());
      d.commit(i);
      if (i % 100 == 99) {
        ASSERT_TRUE(d.flush().ok());
      }
    }
    ASSERT_TRUE(d.flush().ok());
    expect = testing::dump(d);
    heads = d.heads();
  }
  const auto bytes = read_all(p);
  ASSERT_GT(bytes.size(), 16u);
  EXPECT_EQ(bytes[16], 2) << "the file starts with a snapshot record";
  // Each change record takes 70+ bytes; the snapshot keeps the whole history
  // in a few KB, and flush lets running compactions finish.
  EXPECT_LT(bytes.size(), 40'000u) << "much smaller than the log of 3000 changes";
  auto d = Document::open(p).value();
  EXPECT_EQ(testing::dump(d), expect);
  EXPECT_EQ(d.heads(), heads);
  EXPECT_EQ(d.changes_count(), 3000u);
  EXPECT_FALSE(fs::exists(dir / "doc.vesk.compact"));
}

// Writer processes are killed at random moments; everything they reported as
// committed is there when the file is opened again.
TEST(CrdtStorage, KilledWriterLosesNothingCommitted) {
  TempDir dir;
  const auto p = dir / "doc.vesk";
  std::mt19937 rng(42);
  int next_key = 0;
  std::vector<int> acked;
  for (int round = 0; round < 150; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int first = next_key;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      OpenOptions opts;
      opts.compact_min_log_bytes = 2048;  // compactions happen under the knife too
      auto d = Document::open(p, opts);
      if (!d.ok()) ::_exit(3);
      auto keys = d->get(kRoot, "keys");
      ObjId m = keys ? keys->object(ObjType::Map).value_or(kRoot) : kRoot;
      if (!keys) m = d->put_object(kRoot, "keys", ObjType::Map).value();
      for (int k = first;; ++k) {
        (void)d->put(m, std::to_string(k), std::int64_t{k});
        d->commit();
        if (::write(fds[1], &k, sizeof k) != sizeof k) ::_exit(4);
      }
    }
    ::close(fds[1]);
    ::usleep(static_cast<useconds_t>(rng() % 6000));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    int k;
    while (::read(fds[0], &k, sizeof k) == sizeof k) acked.push_back(k), next_key = k + 1;
    ::close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed on its own, status " << status;

    auto d = Document::open(p);
    ASSERT_TRUE(d.ok()) << "round " << round << ": " << d.error();
    auto m = d->get(kRoot, "keys");
    if (acked.empty()) continue;
    ASSERT_TRUE(m) << "round " << round;
    const ObjId keys = m->object(ObjType::Map).value();
    for (int a : acked)
      ASSERT_EQ(d->get(keys, std::to_string(a))->i64(), a) << "round " << round << " key " << a;
  }
  EXPECT_GT(acked.size(), 100u) << "the writers got some work done";
}

}  // namespace
}  // namespace crdt
