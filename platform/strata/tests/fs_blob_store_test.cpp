#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "strata/blob_store.hpp"
#include "temp_dir.hpp"

namespace strata {
namespace {

using testing::bytes_of;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

// SHA-256("abc"), the FIPS 180-2 example.
constexpr std::string_view kAbcRef =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::filesystem::path blob_path(const std::filesystem::path& root, const std::string& ref) {
  return root / ref.substr(0, 2) / ref.substr(2);
}

// Every regular file under the root, blobs and leftovers alike.
std::vector<std::filesystem::path> files_under(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) out.push_back(e.path());
  return out;
}

FsBlobStore make_store(const TempDir& dir, BlobStoreLimits limits = {}) {
  return FsBlobStore(dir / "blobs", limits);
}

TEST(FsBlobStore, PutAnswersTheSha256AndGetReturnsTheBytes) {
  TempDir dir;
  auto store = make_store(dir);
  auto ref = store.put(bytes_of("abc"));
  ASSERT_TRUE(ref.ok()) << ref.error();
  EXPECT_EQ(*ref, kAbcRef);
  EXPECT_EQ(blob_ref_of(bytes_of("abc")), kAbcRef);
  EXPECT_TRUE(store.has(*ref));
  EXPECT_EQ(store.get(*ref), bytes_of("abc"));
  // References are hex digits in either case.
  std::string upper(kAbcRef);
  for (char& c : upper) c = static_cast<char>(std::toupper(c));
  EXPECT_TRUE(store.has(upper));
  EXPECT_EQ(store.get(upper), bytes_of("abc"));
  EXPECT_EQ(read_file(blob_path(store.root(), *ref)), bytes_of("abc"));
  EXPECT_EQ(std::filesystem::status(store.root()).permissions(), std::filesystem::perms::owner_all);
}

TEST(FsBlobStore, SameContentTwiceIsOneFile) {
  TempDir dir;
  auto store = make_store(dir);
  auto a = store.put(bytes_of("same"));
  auto b = store.put(bytes_of("same"));
  ASSERT_TRUE(a.ok() && b.ok());
  EXPECT_EQ(*a, *b);
  EXPECT_EQ(files_under(store.root()).size(), 1u);
  EXPECT_EQ(store.counters().writes, 1u);
  EXPECT_EQ(store.counters().puts, 2u);
}

TEST(FsBlobStore, EmptyContentIsABlobLikeAnyOther) {
  TempDir dir;
  auto store = make_store(dir);
  auto ref = store.put({});
  ASSERT_TRUE(ref.ok());
  EXPECT_EQ(*ref, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(store.get(*ref), std::vector<std::uint8_t>{});
}

TEST(FsBlobStore, ContentOverTheBlobLimitIsRefused) {
  TempDir dir;
  auto store = make_store(dir, {.max_blob_bytes = 1000});
  EXPECT_TRUE(store.put(std::vector<std::uint8_t>(1000, 7)).ok());
  auto over = std::vector<std::uint8_t>(1001, 7);
  auto refused = store.put(over);
  ASSERT_FALSE(refused.ok());
  EXPECT_THAT(refused.error(), ::testing::HasSubstr("1000 bytes"));
  EXPECT_FALSE(store.put_checked(blob_ref_of(over), over).ok());
  EXPECT_FALSE(store.has(blob_ref_of(over)));
}

TEST(FsBlobStore, PutCheckedStoresOnlyContentMatchingItsReference) {
  TempDir dir;
  auto store = make_store(dir);
  auto mismatch = store.put_checked(blob_ref_of(bytes_of("other")), bytes_of("abc"));
  ASSERT_FALSE(mismatch.ok());
  EXPECT_EQ(mismatch.error(), "content does not match its reference");
  EXPECT_FALSE(store.has(kAbcRef));
  auto bad_ref = store.put_checked("not-a-ref", bytes_of("abc"));
  ASSERT_FALSE(bad_ref.ok());
  EXPECT_EQ(bad_ref.error(), "not a blob reference");
  auto ok = store.put_checked(kAbcRef, bytes_of("abc"));
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(*ok, kAbcRef);
  EXPECT_EQ(store.get(kAbcRef), bytes_of("abc"));
}

TEST(FsBlobStore, MalformedReferencesFindNothing) {
  TempDir dir;
  auto store = make_store(dir);
  ASSERT_TRUE(store.put(bytes_of("abc")).ok());
  const std::string cases[] = {
      "",
      std::string(kAbcRef.substr(0, 63)),
      std::string(kAbcRef) + "0",
      "ba/../" + std::string(kAbcRef.substr(6)),
      "zz7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
      "vesk-demo://call-grid",
  };
  for (const auto& ref : cases) {
    EXPECT_FALSE(store.has(ref)) << ref;
    EXPECT_FALSE(store.get(ref).has_value()) << ref;
  }
}

TEST(FsBlobStore, AMissingRootIsEmptyNotAnError) {
  TempDir dir;
  auto store = make_store(dir);
  EXPECT_FALSE(store.has(kAbcRef));
  EXPECT_FALSE(store.get(kAbcRef).has_value());
  auto evicted = store.evict_unreferenced({});
  ASSERT_TRUE(evicted.ok());
  EXPECT_EQ(*evicted, 0u);
}

// Damage done to a stored file behind the store's back.
struct Corruption {
  const char* name;
  void (*damage)(std::vector<std::uint8_t>&);
};

TEST(FsBlobStore, CorruptedBlobIsNeverReturnedAndAPutRepairsIt) {
  const Corruption cases[] = {
      {"flipped bit", [](std::vector<std::uint8_t>& b) { b[b.size() / 2] ^= 0x01; }},
      {"truncated", [](std::vector<std::uint8_t>& b) { b.resize(b.size() - 1); }},
      {"extended", [](std::vector<std::uint8_t>& b) { b.push_back(0); }},
      {"emptied", [](std::vector<std::uint8_t>& b) { b.clear(); }},
  };
  const auto content = std::vector<std::uint8_t>(5000, 0x5a);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    auto store = make_store(dir);
    auto ref = store.put(content);
    ASSERT_TRUE(ref.ok());
    auto file = blob_path(store.root(), *ref);
    auto bytes = read_file(file);
    c.damage(bytes);
    write_file(file, bytes);

    EXPECT_FALSE(store.get(*ref).has_value());
    EXPECT_EQ(store.counters().corrupt_seen, 1u);
    // The damaged file is gone, so the store no longer claims to have it.
    EXPECT_FALSE(store.has(*ref));
    EXPECT_FALSE(std::filesystem::exists(file));

    ASSERT_TRUE(store.put(content).ok());
    EXPECT_EQ(store.get(*ref), content);
  }
}

TEST(FsBlobStore, PutOverACorruptedFileRewritesIt) {
  TempDir dir;
  auto store = make_store(dir);
  ASSERT_TRUE(store.put(bytes_of("abc")).ok());
  auto file = blob_path(store.root(), std::string(kAbcRef));
  write_file(file, bytes_of("abd"));
  ASSERT_TRUE(store.put(bytes_of("abc")).ok());
  EXPECT_EQ(read_file(file), bytes_of("abc"));
  EXPECT_EQ(store.counters().writes, 2u);
}

TEST(FsBlobStore, NeverFollowsALinkOutOfItsRoot) {
  TempDir dir;
  auto store = make_store(dir);
  const auto content = bytes_of("abc");
  const std::string ref(kAbcRef);
  ASSERT_TRUE(store.put(bytes_of("seed")).ok());  // creates the root
  std::filesystem::create_directories(dir / "outside");

  // A link in place of the blob file, pointing at a file with the right bytes.
  write_file(dir / "outside" / "secret", content);
  std::filesystem::create_directories(store.root() / ref.substr(0, 2));
  std::filesystem::create_symlink(dir / "outside" / "secret", blob_path(store.root(), ref));
  EXPECT_FALSE(store.has(ref));
  EXPECT_FALSE(store.get(ref).has_value());
  // Putting the content replaces the link itself, never writing through it.
  write_file(dir / "outside" / "secret", bytes_of("untouched"));
  ASSERT_TRUE(store.put(content).ok());
  EXPECT_FALSE(std::filesystem::is_symlink(blob_path(store.root(), ref)));
  EXPECT_EQ(read_file(dir / "outside" / "secret"), bytes_of("untouched"));
  EXPECT_EQ(store.get(ref), content);

  // A link in place of a whole shard directory.
  const auto other = bytes_of("other content");
  const std::string other_ref = blob_ref_of(other);
  std::filesystem::create_directories(dir / "outside" / "shard");
  write_file(dir / "outside" / "shard" / other_ref.substr(2), other);
  std::filesystem::remove_all(store.root() / other_ref.substr(0, 2));
  std::filesystem::create_directory_symlink(dir / "outside" / "shard",
                                            store.root() / other_ref.substr(0, 2));
  EXPECT_FALSE(store.has(other_ref));
  EXPECT_FALSE(store.get(other_ref).has_value());
  EXPECT_FALSE(store.put(bytes_of("other content")).ok());
  EXPECT_EQ(std::filesystem::directory_iterator(dir / "outside" / "shard")->path().filename(),
            other_ref.substr(2));
  auto evicted = store.evict_unreferenced({});
  ASSERT_TRUE(evicted.ok());
  EXPECT_TRUE(std::filesystem::exists(dir / "outside" / "shard" / other_ref.substr(2)));
}

TEST(FsBlobStore, QuotasRefuseNewBlobsButNotKnownOnes) {
  TempDir dir;
  auto store = make_store(dir, {.max_total_bytes = 10, .max_blob_count = 2});
  ASSERT_TRUE(store.put(bytes_of("aaaa")).ok());
  ASSERT_TRUE(store.put(bytes_of("bbbb")).ok());
  auto third = store.put(bytes_of("c"));
  ASSERT_FALSE(third.ok());
  EXPECT_EQ(third.error(), "blob store is full");
  EXPECT_TRUE(store.put(bytes_of("aaaa")).ok());

  ASSERT_TRUE(store.evict_unreferenced({blob_ref_of(bytes_of("aaaa"))}).ok());
  EXPECT_FALSE(store.put(bytes_of("ccccccc")).ok());  // 4 + 7 bytes > 10
  EXPECT_TRUE(store.put(bytes_of("cccccc")).ok());    // 4 + 6 bytes

  // A second store over the same root counts what is already there.
  auto again = make_store(dir, {.max_total_bytes = 10, .max_blob_count = 2});
  EXPECT_FALSE(again.put(bytes_of("d")).ok());
  EXPECT_EQ(again.counters().blob_count, 2u);
  EXPECT_EQ(again.counters().total_bytes, 10u);
}

TEST(FsBlobStore, EvictRemovesOnlyUnreferencedBlobs) {
  TempDir dir;
  auto store = make_store(dir);
  std::vector<std::string> refs;
  for (std::string_view s : {"one", "two", "three"}) refs.push_back(*store.put(bytes_of(s)));
  // A stray file of the user's, a fresh temporary file and a stale one.
  write_file(store.root() / "README", bytes_of("mine"));
  auto shard = store.root() / refs[0].substr(0, 2);
  write_file(shard / ".tmp-fresh", bytes_of("x"));
  write_file(shard / ".tmp-stale", bytes_of("x"));
  struct timespec old[2] = {{0, 0}, {0, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (shard / ".tmp-stale").c_str(), old, 0), 0);

  std::string keep = refs[1];
  for (char& c : keep) c = static_cast<char>(std::toupper(c));
  auto evicted = store.evict_unreferenced({keep, "not a ref"});
  ASSERT_TRUE(evicted.ok()) << evicted.error();
  EXPECT_EQ(*evicted, 2u);
  EXPECT_FALSE(store.has(refs[0]));
  EXPECT_TRUE(store.has(refs[1]));
  EXPECT_FALSE(store.has(refs[2]));
  EXPECT_EQ(store.get(refs[1]), bytes_of("two"));
  EXPECT_TRUE(std::filesystem::exists(store.root() / "README"));
  EXPECT_TRUE(std::filesystem::exists(shard / ".tmp-fresh"));
  EXPECT_FALSE(std::filesystem::exists(shard / ".tmp-stale"));
  EXPECT_EQ(store.counters().evicted, 2u);
}

TEST(FsBlobStore, ThreadsPuttingTheSameContentEndWithOneGoodFile) {
  TempDir dir;
  auto store = make_store(dir);
  const auto content = std::vector<std::uint8_t>(256 * 1024, 0xc3);
  const auto expected = blob_ref_of(content);
  std::vector<std::string> got(8);
  {
    std::vector<std::jthread> threads;
    for (std::size_t i = 0; i < got.size(); ++i)
      threads.emplace_back([&, i] {
        auto r = store.put(content);
        got[i] = r.ok() ? *r : r.error();
      });
  }
  for (const auto& g : got) EXPECT_EQ(g, expected);
  EXPECT_EQ(files_under(store.root()).size(), 1u);
  EXPECT_EQ(store.get(expected), content);
}

// Two processes, each with its own store object over one root, start together
// (released by one pipe) and put the same series of blobs.
TEST(FsBlobStore, TwoProcessesPuttingTheSameBlobsEndWithOneGoodFileEach) {
  TempDir dir;
  const auto root = dir / "blobs";
  constexpr int kBlobs = 24;
  auto content_of = [](int i) {
    std::vector<std::uint8_t> b(64 * 1024 + static_cast<std::size_t>(i));
    for (std::size_t j = 0; j < b.size(); ++j) b[j] = static_cast<std::uint8_t>(j * 31 + i);
    return b;
  };
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  pid_t children[2];
  for (pid_t& child : children) {
    child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(go[1]);
      char c;
      (void)!::read(go[0], &c, 1);  // returns at end of file, when the parent lets go
      FsBlobStore store(root, BlobStoreLimits{});
      int bad = 0;
      for (int i = 0; i < kBlobs; ++i) {
        auto content = content_of(i);
        auto r = store.put(content);
        if (!r.ok() || *r != blob_ref_of(content)) ++bad;
      }
      ::_exit(bad == 0 ? 0 : 1);
    }
  }
  ::close(go[0]);
  ::close(go[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  FsBlobStore store(root, BlobStoreLimits{});
  for (int i = 0; i < kBlobs; ++i) EXPECT_EQ(store.get(blob_ref_of(content_of(i))), content_of(i));
  // Nothing half-written is left behind.
  EXPECT_EQ(files_under(root).size(), static_cast<std::size_t>(kBlobs));
}

TEST(FsBlobStore, DefaultRootFollowsTheXdgDataDirectory) {
  const char* old_xdg = std::getenv("XDG_DATA_HOME");
  const char* old_home = std::getenv("HOME");
  std::string saved_xdg = old_xdg ? old_xdg : "", saved_home = old_home ? old_home : "";
  ::setenv("XDG_DATA_HOME", "/data/x", 1);
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(FsBlobStore::default_root(), std::filesystem::path("/data/x/vesk/blobs"));
  ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_EQ(FsBlobStore::default_root(), std::filesystem::path("/home/u/.local/share/vesk/blobs"));
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("HOME");
  EXPECT_TRUE(FsBlobStore::default_root().is_absolute());
  old_xdg ? ::setenv("XDG_DATA_HOME", saved_xdg.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
  old_home ? ::setenv("HOME", saved_home.c_str(), 1) : ::unsetenv("HOME");
}

}  // namespace
}  // namespace strata
