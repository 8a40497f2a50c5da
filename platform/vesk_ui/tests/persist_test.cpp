#include "vesk_ui/persist.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#if __has_include("crdt/document.hpp")
#include "crdt/document.hpp"
#define HAVE_CRDT 1
#endif

namespace {

namespace fs = std::filesystem;
using vesk_ui::persist::OpenOptions;

// Points XDG_DATA_HOME and HOME at a fresh folder for one test.
class PersistEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("vesk_ui_persist_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    save("XDG_DATA_HOME", xdg_);
    save("HOME", home_);
    ::setenv("XDG_DATA_HOME", (root_ / "xdg").c_str(), 1);
    ::setenv("HOME", (root_ / "home").c_str(), 1);
  }
  void TearDown() override {
    restore("XDG_DATA_HOME", xdg_);
    restore("HOME", home_);
    fs::remove_all(root_);
  }
  static void save(const char* name, std::optional<std::string>& slot) {
    if (const char* v = std::getenv(name)) slot = v;
  }
  static void restore(const char* name, const std::optional<std::string>& slot) {
    if (slot) {
      ::setenv(name, slot->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  fs::path root_;
  std::optional<std::string> xdg_, home_;
};

TEST_F(PersistEnv, DefaultPathFollowsXdgThenHomeAndStaysInside) {
  using vesk_ui::persist::default_path;
  EXPECT_EQ(default_path("org.example.app"),
            root_ / "xdg" / "vesk_ui" / "org.example.app" / "document.vdoc");
  // Ids that could leave the folder are replaced.
  for (const char* bad : {"", ".", "..", "../../etc", "a/b"}) {
    EXPECT_EQ(default_path(bad), root_ / "xdg" / "vesk_ui" / "app" / "document.vdoc") << bad;
  }
  ::setenv("XDG_DATA_HOME", "relative/dir",
           1);  // not absolute: ignored, as XDG base directories require
  EXPECT_EQ(default_path("x"), root_ / "home" / ".local/share" / "vesk_ui" / "x" / "document.vdoc");
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("HOME");
  EXPECT_TRUE(default_path("x").empty());
}

#if HAVE_CRDT

std::string read_key(crdt::Document& doc, const char* key) {
  auto v = doc.get(crdt::ObjId::root(), key);
  return v && v->str() ? *v->str() : std::string();
}

TEST_F(PersistEnv, OpenMigratingKeepsDataAcrossOpens) {
  fs::path file = root_ / "data" / "workspace.vdoc";  // parent does not exist yet
  {
    auto doc = vesk_ui::persist::open_migrating("org.example.app", OpenOptions{}, file);
    ASSERT_TRUE(doc.ok()) << doc.error();
    ASSERT_TRUE((*doc)->put(crdt::ObjId::root(), "greeting", std::string("hello")).ok());
    (*doc)->commit();
    ASSERT_TRUE((*doc)->flush().ok());
  }
  auto again = vesk_ui::persist::open_migrating("org.example.app", OpenOptions{}, file);
  ASSERT_TRUE(again.ok()) << again.error();
  EXPECT_EQ(read_key(**again, "greeting"), "hello");
}

TEST_F(PersistEnv, OpenMigratingCarriesOverTheDefaultDocumentOnce) {
  {
    auto old = vesk_ui::persist::open("org.example.app", OpenOptions{});
    ASSERT_TRUE(old.ok()) << old.error();
    ASSERT_TRUE((*old)->put(crdt::ObjId::root(), "legacy", std::string("kept")).ok());
    (*old)->commit();
    ASSERT_TRUE((*old)->flush().ok());
  }
  ASSERT_TRUE(fs::exists(vesk_ui::persist::default_path("org.example.app")));
  fs::path file = root_ / "data" / "workspace.vdoc";
  {
    auto doc = vesk_ui::persist::open_migrating("org.example.app", OpenOptions{}, file);
    ASSERT_TRUE(doc.ok()) << doc.error();
    EXPECT_EQ(read_key(**doc, "legacy"), "kept");
    ASSERT_TRUE((*doc)->put(crdt::ObjId::root(), "legacy", std::string("edited")).ok());
    (*doc)->commit();
    ASSERT_TRUE((*doc)->flush().ok());
  }
  // The new file now exists: the old document is not merged in again.
  auto doc = vesk_ui::persist::open_migrating("org.example.app", OpenOptions{}, file);
  ASSERT_TRUE(doc.ok());
  EXPECT_EQ(read_key(**doc, "legacy"), "edited");
  EXPECT_TRUE(fs::exists(vesk_ui::persist::default_path("org.example.app")));  // left in place
}

TEST_F(PersistEnv, FailuresAreTextsAndMemoryNeedsNoFolder) {
  fs::path blocker = root_ / "file";
  {
    std::FILE* f = std::fopen(blocker.c_str(), "w");
    std::fclose(f);
  }
  auto bad = vesk_ui::persist::open_migrating("x", OpenOptions{}, blocker / "doc.vdoc");
  ASSERT_FALSE(bad.ok());
  EXPECT_NE(bad.error().find("cannot create the folder"), std::string::npos) << bad.error();

  // A file that is not a document is refused and left alone.
  fs::path junk = root_ / "junk.vdoc";
  {
    std::FILE* f = std::fopen(junk.c_str(), "w");
    std::fputs("not a document", f);
    std::fclose(f);
  }
  auto refused = vesk_ui::persist::open_migrating("x", OpenOptions{}, junk);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().rfind("cannot open " + junk.string() + ": ", 0), 0u);
  EXPECT_EQ(fs::file_size(junk), 14u);

  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("HOME");
  auto mem = vesk_ui::persist::open("x", OpenOptions{});
  ASSERT_TRUE(mem.ok());
  EXPECT_TRUE((*mem)->put(crdt::ObjId::root(), "k", std::string("v")).ok());
  OpenOptions in_memory;
  in_memory.in_memory = true;
  auto m2 = vesk_ui::persist::open_migrating("x", in_memory, root_ / "never.vdoc");
  ASSERT_TRUE(m2.ok());
  EXPECT_FALSE(fs::exists(root_ / "never.vdoc"));
  EXPECT_TRUE(vesk_ui::persist::available());
}

#else

TEST_F(PersistEnv, WithoutTheEngineOpeningSaysSo) {
  EXPECT_FALSE(vesk_ui::persist::available());
  auto r = vesk_ui::persist::open("x", OpenOptions{});
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().find("no document engine"), std::string::npos);
}

#endif

}  // namespace
