#include "doc/attachment_files.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "attachment_test_support.hpp"
#include "doc/demo_pictures.hpp"

namespace chat {
namespace {

using testing::InstalledStore;
using testing::ScratchDir;
using testing::write_bytes;
using testing::write_sized;
using testing::write_text;

TEST(AttachmentNames, ExtensionsAreTheTextAfterTheLastDotInAnyCase) {
  struct Case {
    std::string_view name;
    bool video, image;
  };
  const Case cases[] = {
      {"clip.mp4", true, false},   {"CLIP.MP4", true, false}, {"a.WebM", true, false},
      {"take.mov", true, false},   {"x.mkv", true, false},    {"x.m4v", true, false},
      {"x.avi", true, false},      {"x.ogv", true, false},    {"notes.webm.txt", false, false},
      {"shot.PNG", false, true},   {"a.jpg", false, true},    {"a.JPEG", false, true},
      {"a.webp", false, true},     {"a.gif", false, true},    {"a.bmp", false, true},
      {"scan.tiff", false, false}, {"mp4", false, false},     {"archive.", false, false},
      {"", false, false},          {".mov", true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(has_video_extension(c.name), c.video) << c.name;
    EXPECT_EQ(has_image_extension(c.name), c.image) << c.name;
  }
  EXPECT_EQ(extension_of("a.b.c"), "c");
  EXPECT_EQ(extension_of("none"), "");
}

TEST(AttachmentNames, InvalidUtf8IsReplaced) {
  EXPECT_EQ(display_name("caf\xc3\xa9.png"), "caf\xc3\xa9.png");
  EXPECT_EQ(display_name("bad\xff.png"), "bad\xef\xbf\xbd.png");
  EXPECT_EQ(display_name("cut\xc3"), "cut\xef\xbf\xbd");
}

TEST(AttachmentNames, NamesFitWhatEveryReplicaAccepts) {
  const std::string fffd = "\xef\xbf\xbd";
  const std::string a254(254, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {"plain.txt", "plain.txt"},
      {"line\nbreak.txt", "line" + fffd + "break.txt"},
      {"tab\there", "tab" + fffd + "here"},
      {"del\x7f.txt", "del" + fffd + ".txt"},
      {"c1\xc2\x85.txt", "c1" + fffd + ".txt"},
      {"nbsp\xc2\xa0ok", "nbsp\xc2\xa0ok"},
      {"bad\xff", "bad" + fffd},
      {std::string(300, 'x'), std::string(255, 'x')},
      {a254 + "\xc3\xa9", a254},  // the two-byte letter would end past 255
      {a254 + "z\xc3\xa9", a254 + "z"},
  };
  for (const auto& [raw, expected] : cases) {
    const std::string got = attachment_name(raw);
    EXPECT_EQ(got, expected);
    EXPECT_LE(got.size(), kMaxAttachmentNameBytes);
  }
}

TEST(AttachmentDir, ComesFromTheEnvironmentOrDefaults) {
  const char* old = std::getenv("VESK_CHAT_ATTACH_DIR");
  std::string saved = old ? old : "";
  ::setenv("VESK_CHAT_ATTACH_DIR", "/srv/files", 1);
  EXPECT_EQ(attachment_dir(), std::filesystem::path("/srv/files"));
  ::unsetenv("VESK_CHAT_ATTACH_DIR");
  EXPECT_EQ(attachment_dir(), std::filesystem::path("/var/workspace"));
  if (old) ::setenv("VESK_CHAT_ATTACH_DIR", saved.c_str(), 1);
}

std::vector<std::string> names_of(const std::vector<PickerEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(e.name);
  return out;
}

TEST(AttachmentListing, WalksTheDirectoryAndItsDirectSubdirectories) {
  ScratchDir dir;
  write_text(dir / "b.txt", "12345");
  write_text(dir / "A.mp4", "v");
  write_text(dir / "sub" / "c.png", "x");
  write_text(dir / "sub" / "deeper" / "hidden.txt", "x");
  std::filesystem::create_directories(dir / "elsewhere");
  write_text(dir / "elsewhere" / "linked.txt", "x");
  // A linked directory is not walked, and is not a file to offer either.
  std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "sub" / "link");
  std::filesystem::create_directory_symlink(dir / "elsewhere" / "..", dir / "up");
  std::filesystem::create_symlink(dir / "missing", dir / "dangling.txt");

  auto listed = list_attachment_files(dir / "sub" / "..");
  ASSERT_TRUE(listed.ok()) << listed.error();
  // "elsewhere" is itself a direct subdirectory, so its file is offered.
  EXPECT_THAT(names_of(*listed),
              ::testing::ElementsAre("A.mp4", "b.txt", "c.png", "dangling.txt", "linked.txt"));
  const auto& b = (*listed)[1];
  EXPECT_EQ(b.size, 5u);
  EXPECT_FALSE(b.video);
  EXPECT_TRUE((*listed)[0].video);
  EXPECT_EQ((*listed)[2].path, dir / "sub" / ".." / "sub" / "c.png");
  EXPECT_EQ((*listed)[3].size, 0u);  // metadata unreadable
}

TEST(AttachmentListing, AnUnreadableDirectoryIsUnavailable) {
  ScratchDir dir;
  write_text(dir / "file.txt", "x");
  for (const auto& path : {dir / "missing", dir / "file.txt"}) {
    auto listed = list_attachment_files(path);
    ASSERT_FALSE(listed.ok());
    EXPECT_EQ(listed.error(), "workspace is unavailable");
  }
}

TEST(AttachmentListing, KeepsTheFirstSixtyByNameAmongTheFirstTwoHundredFound) {
  ScratchDir dir;
  for (int i = 0; i < 500; ++i) {
    // Mixed case so that only a case-blind sort gets the order right.
    char name[32];
    std::snprintf(name, sizeof name, "%s%03d.txt", i % 2 ? "File" : "file", (i * 7919) % 1000);
    write_text(dir / name, "x");
  }
  // Which 200 the file system hands out first is its business; take them in
  // the same order and pick the expected 60 independently.
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    if (found.size() == kPickerCollectLimit) break;
    found.push_back(e.path().filename().string());
  }
  auto lowered = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
  };
  std::stable_sort(found.begin(), found.end(),
                   [&](const auto& a, const auto& b) { return lowered(a) < lowered(b); });
  found.resize(kPickerKeepLimit);

  auto listed = list_attachment_files(dir.path());
  ASSERT_TRUE(listed.ok());
  EXPECT_EQ(listed->size(), 60u);
  EXPECT_EQ(names_of(*listed), found);
}

// --- import -----------------------------------------------------------------

struct ImportCase {
  const char* what;
  std::string path;   // relative to the attachment directory unless absolute
  std::string error;  // empty: the import succeeds
};

class AttachmentImport : public ::testing::Test {
 protected:
  AttachmentImport() {
    write_text(dir / "notes.txt", "hello");
    write_text(dir / "empty.txt", "");
    write_sized(dir / "exact.bin", kMaxAttachmentBytes);
    write_sized(dir / "over.bin", kMaxAttachmentBytes + 1);
    std::filesystem::create_directories(dir / "folder");
    write_text(outside / "id_ed25519", "PRIVATE KEY");
    std::filesystem::create_symlink(outside / "id_ed25519", dir / "key.txt");
    std::filesystem::create_symlink(dir / "notes.txt", dir / "alias.txt");
    std::filesystem::create_directory_symlink(outside.path(), dir / "outlink");
    ::mkfifo((dir / "pipe").c_str(), 0600);
  }

  base::Result<ImportedFile> import(const std::string& path) {
    return import_attachment_file(dir.path(), std::filesystem::path(path).is_absolute()
                                                  ? std::filesystem::path(path)
                                                  : dir / path);
  }

  ScratchDir dir;
  ScratchDir outside;
  InstalledStore store;
};

TEST_F(AttachmentImport, ChecksEveryFileBeforeItsBytesAreShared) {
  const std::string outside_key = (outside / "id_ed25519").string();
  const ImportCase cases[] = {
      {"plain file", "notes.txt", ""},
      {"exactly 32 MiB", "exact.bin", ""},
      {"one byte over", "over.bin", "file is not shareable or exceeds 32 MiB"},
      {"empty", "empty.txt", "file is empty"},
      {"directory", "folder", "file is not shareable or exceeds 32 MiB"},
      {"named pipe", "pipe", "file is not shareable or exceeds 32 MiB"},
      {"missing", "nothing-here.txt", "file is unavailable"},
      {"outside by absolute path", outside_key, std::string(kOutsideAttachmentDir)},
      {"outside by ..", "folder/../../" + outside.path().filename().string() + "/id_ed25519",
       std::string(kOutsideAttachmentDir)},
      {"link to a file outside", "key.txt", std::string(kOutsideAttachmentDir)},
      {"through a linked directory", "outlink/id_ed25519", std::string(kOutsideAttachmentDir)},
      {"the directory itself", ".", std::string(kOutsideAttachmentDir)},
      {"link to a file inside", "alias.txt", ""},
  };
  for (const auto& c : cases) {
    auto r = import(c.path);
    if (c.error.empty()) {
      EXPECT_TRUE(r.ok()) << c.what << ": " << (r.ok() ? "" : r.error());
    } else {
      ASSERT_FALSE(r.ok()) << c.what;
      EXPECT_EQ(r.error(), c.error) << c.what;
    }
  }
  // Nothing from outside reached the store.
  EXPECT_FALSE(store.store().has(strata::blob_ref_of(
      std::vector<std::uint8_t>{'P', 'R', 'I', 'V', 'A', 'T', 'E', ' ', 'K', 'E', 'Y'})));
}

TEST_F(AttachmentImport, AnImportedFileIsStoredAndDescribed) {
  auto r = import("notes.txt");
  ASSERT_TRUE(r.ok()) << r.error();
  EXPECT_EQ(r->name, "notes.txt");
  EXPECT_EQ(r->size, 5u);
  EXPECT_EQ(r->width, 0u);
  EXPECT_EQ(r->height, 0u);
  EXPECT_FALSE(r->video);
  EXPECT_EQ(r->blob, strata::blob_ref_of(std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(strata::blobstore::get(r->blob), (std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'}));

  // A link keeps the name it was picked by.
  auto alias = import("alias.txt");
  ASSERT_TRUE(alias.ok());
  EXPECT_EQ(alias->name, "alias.txt");
  EXPECT_EQ(alias->blob, r->blob);

  auto exact = import("exact.bin");
  ASSERT_TRUE(exact.ok());
  EXPECT_EQ(exact->size, kMaxAttachmentBytes);
}

TEST_F(AttachmentImport, ImagesCarryTheirPixelSizeAndVideosTheirFlag) {
  write_bytes(dir / "sub" / "Shot.PNG", *demo_picture_png("shared-shot"));
  write_text(dir / "clip.final.MOV", "not really a movie");
  auto png = import("sub/Shot.PNG");
  ASSERT_TRUE(png.ok());
  EXPECT_EQ(png->width, 620u);
  EXPECT_EQ(png->height, 400u);
  EXPECT_FALSE(png->video);
  auto mov = import("clip.final.MOV");
  ASSERT_TRUE(mov.ok());
  EXPECT_TRUE(mov->video);
  EXPECT_EQ(mov->size, 18u);
}

TEST_F(AttachmentImport, NamesWithControlCharactersAreCleaned) {
  write_text(dir / "two\nlines.txt", "x");
  auto r = import("two\nlines.txt");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->name, "two\xef\xbf\xbdlines.txt");
}

TEST_F(AttachmentImport, RelativePathsAreTakenInsideTheDirectory) {
  auto r = import_attachment_file(dir.path(), "notes.txt");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->name, "notes.txt");
}

TEST_F(AttachmentImport, AStoreThatRefusesIsReported) {
  InstalledStore tiny(strata::BlobStoreLimits{.max_total_bytes = 2});
  auto r = import("notes.txt");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error(), "shared content store refused the attachment");
  strata::blobstore::set_store(nullptr);
  auto none = import("notes.txt");
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error(), "shared content store refused the attachment");
}

// A store whose reads do not give back what was written.
class ForgetfulStore final : public strata::BlobStore {
 public:
  explicit ForgetfulStore(std::optional<strata::Bytes> answer) : answer_(std::move(answer)) {}
  std::optional<strata::Bytes> get(std::string_view) override { return answer_; }
  base::Result<std::string> put(strata::ByteView b) override { return strata::blob_ref_of(b); }
  base::Result<std::string> put_checked(std::string_view r, strata::ByteView) override {
    return std::string(r);
  }
  base::Result<std::size_t> evict_unreferenced(const std::set<std::string>&) override {
    return std::size_t{0};
  }
  bool has(std::string_view) override { return true; }

 private:
  std::optional<strata::Bytes> answer_;
};

TEST_F(AttachmentImport, BytesThatDoNotComeBackIntactFailVerification) {
  for (auto answer : {std::optional<strata::Bytes>{}, std::optional<strata::Bytes>{{'h', 'e'}}}) {
    strata::blobstore::set_store(std::make_shared<ForgetfulStore>(answer));
    auto r = import("notes.txt");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "shared byte verification failed");
  }
}

}  // namespace
}  // namespace chat
