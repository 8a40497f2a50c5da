#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "runtime_identity/identity.hpp"

namespace ri = runtime_identity;

namespace {

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    char tmpl[] = "/tmp/vesk-identity-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
};

TEST(RuntimeIdentity, StoredIdentityLoadsBack) {
  TempDir dir;
  ri::Identity id;
  for (int i = 0; i < 32; ++i) id.public_key[i] = static_cast<std::uint8_t>(i * 7 + 1);
  id.name = "  Ada Lovelace ";
  const auto file = dir.path / "vesk" / "identity";
  ASSERT_TRUE(ri::unix::store(file, id).ok());
  EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  auto back = ri::unix::load_from(file);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->public_key, id.public_key);
  EXPECT_EQ(back->name, "Ada Lovelace");

  ::setenv("VESK_IDENTITY_FILE", file.c_str(), 1);
  EXPECT_TRUE(ri::unix::load().has_value());
  ::unsetenv("VESK_IDENTITY_FILE");
}

TEST(RuntimeIdentity, NoIdentityWhenFileMissingOrMalformed) {
  TempDir dir;
  EXPECT_FALSE(ri::unix::load_from(dir.path / "absent").has_value());
  const std::pair<const char*, const char*> cases[] = {
      {"short key", "public_key = abcd\nname = x\n"},
      {"not hex", "public_key = zz00000000000000000000000000000000000000000000000000000000000000\n"},
      {"no key", "name = someone\n"},
      {"no separator", "public_key\n"},
  };
  for (auto [what, text] : cases) {
    const auto f = dir.path / "id";
    std::ofstream(f) << text;
    EXPECT_FALSE(ri::unix::load_from(f).has_value()) << what;
  }
}

TEST(RuntimeIdentity, DefaultPathFollowsXdgConfigHome) {
  ::unsetenv("VESK_IDENTITY_FILE");
  ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
  EXPECT_EQ(ri::unix::default_path(), std::filesystem::path("/tmp/cfg/vesk/identity"));
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", "/home/ada", 1);
  EXPECT_EQ(ri::unix::default_path(), std::filesystem::path("/home/ada/.config/vesk/identity"));
}

}  // namespace
