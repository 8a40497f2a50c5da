#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>

#include "app/config.hpp"
#include "app/local_identity.hpp"
#include "base/random.hpp"

namespace chat {
namespace {

struct FakeMachine {
  std::map<std::string, std::string, std::less<>> vars;
  std::filesystem::path dir;

  FakeMachine() {
    char tmpl[] = "/tmp/vesk-config-XXXXXX";
    dir = ::mkdtemp(tmpl);
  }
  ~FakeMachine() { std::filesystem::remove_all(dir); }

  Environment env() const {
    Environment e;
    e.var = [this](std::string_view name) -> std::optional<std::string> {
      auto it = vars.find(name);
      if (it == vars.end()) return std::nullopt;
      return it->second;
    };
    e.hostname_file = dir / "hostname";
    return e;
  }
  void hostname_file(const std::string& text) const { std::ofstream(dir / "hostname") << text; }
};

TEST(DataDirectory, ResolutionOrder) {
  FakeMachine m;
  EXPECT_EQ(data_directory(m.env()), std::nullopt);
  m.vars["HOME"] = "/home/ada";
  EXPECT_EQ(data_directory(m.env()), std::filesystem::path("/home/ada/.local/share/vesk-chat"));
  m.vars["XDG_DATA_HOME"] = "/xdg";
  EXPECT_EQ(data_directory(m.env()), std::filesystem::path("/xdg/vesk-chat"));
  m.vars["VESK_CHAT_DATA"] = "/does/not/exist";
  EXPECT_EQ(data_directory(m.env()), std::filesystem::path("/does/not/exist"));
  EXPECT_EQ(workspace_document_path(m.env()),
            std::filesystem::path("/does/not/exist") / kWorkspaceDocumentFile);
  EXPECT_FALSE(std::filesystem::exists("/does/not/exist"));
}

TEST(Config, AttachmentDirectoryAndNetworking) {
  FakeMachine m;
  EXPECT_EQ(attachment_directory(m.env()), std::filesystem::path("/var/workspace"));
  m.vars["VESK_CHAT_ATTACH_DIR"] = "/srv/files";
  EXPECT_EQ(attachment_directory(m.env()), std::filesystem::path("/srv/files"));

  EXPECT_FALSE(networking_allowed(m.env()));
  m.vars["WAYLAND_DISPLAY"] = "wayland-0";
  EXPECT_TRUE(networking_allowed(m.env()));
  m.vars.erase("WAYLAND_DISPLAY");
  m.vars["DBUS_SESSION_BUS_ADDRESS"] = "";  // presence is what counts
  EXPECT_TRUE(networking_allowed(m.env()));
}

TEST(EnvironmentName, SplitsLoginParts) {
  const std::pair<std::map<std::string, std::string, std::less<>>, std::string> cases[] = {
      {{}, "You"},
      {{{"USER", "ada.lovelace"}}, "ada lovelace"},
      {{{"USER", "_grace--hopper_ x"}}, "grace hopper x"},
      {{{"USER", "  "}, {"USERNAME", "alan_turing"}}, "alan turing"},
      {{{"USER", "._-"}}, "You"},
      {{{"USERNAME", "zoë"}}, "zoë"},
  };
  for (const auto& [vars, want] : cases) {
    FakeMachine m;
    m.vars = vars;
    EXPECT_EQ(environment_name(m.env()), want);
  }
}

TEST(LocalIdentity, MachineIdentityWins) {
  FakeMachine m;
  m.vars["VESK_CHAT_DATA"] = (m.dir / "data").string();
  runtime_identity::Identity machine;
  for (int i = 0; i < 32; ++i) machine.public_key[i] = static_cast<std::uint8_t>(0xa0 + i);
  machine.name = "  Ada Lovelace\n";
  auto id = load_local_identity(m.env(), machine);
  EXPECT_EQ(id.user_id, "u_a0a1a2a3a4a5a6a7");
  EXPECT_EQ(id.display_name, "Ada Lovelace");
  EXPECT_EQ(id.initials, "AL");
  EXPECT_EQ(id.color_idx, static_cast<std::int64_t>(base::fnv1a64(id.user_id) & 7));
  EXPECT_FALSE(std::filesystem::exists(m.dir / "data" / "peer-id"));

  machine.name = " ";
  m.vars["USER"] = "grace";
  EXPECT_EQ(load_local_identity(m.env(), machine).display_name, "grace");
}

TEST(LocalIdentity, PeerIdIsCreatedOnceThenReused) {
  FakeMachine m;
  m.vars["VESK_CHAT_DATA"] = (m.dir / "new" / "dir").string();
  m.vars["USER"] = "ada_l";
  auto first = load_local_identity(m.env(), std::nullopt);
  EXPECT_TRUE(std::regex_match(
      first.user_id,
      std::regex("^u_[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")))
      << first.user_id;
  EXPECT_EQ(first.display_name, "ada l");
  EXPECT_EQ(load_local_identity(m.env(), std::nullopt).user_id, first.user_id);

  std::ofstream(m.dir / "new" / "dir" / "peer-id") << "  u_stored \n";
  EXPECT_EQ(load_local_identity(m.env(), std::nullopt).user_id, "u_stored");

  // An empty file yields a new stored id rather than an empty one.
  std::ofstream(m.dir / "new" / "dir" / "peer-id", std::ios::trunc) << "\n";
  auto renewed = load_local_identity(m.env(), std::nullopt);
  EXPECT_NE(renewed.user_id, "u_");
  EXPECT_EQ(load_local_identity(m.env(), std::nullopt).user_id, renewed.user_id);
}

TEST(LocalIdentity, MachineNameFallback) {
  FakeMachine m;
  // A data directory that cannot be created sends the identity to the
  // machine-name source.
  std::ofstream(m.dir / "file") << "x";
  m.vars["VESK_CHAT_DATA"] = (m.dir / "file" / "sub").string();
  m.vars["USER"] = "ada.l-x";
  m.vars["HOSTNAME"] = "engine";
  auto id = load_local_identity(m.env(), std::nullopt);
  const std::uint64_t h = base::fnv1a64("ada.l-x@engine");
  char want[32];
  std::snprintf(want, sizeof want, "u_%016llx", static_cast<unsigned long long>(h));
  EXPECT_EQ(id.user_id, want);
  EXPECT_EQ(id.display_name, "ada l x");
  EXPECT_EQ(load_local_identity(m.env(), std::nullopt).user_id, id.user_id);

  // Host name from the file when HOSTNAME is empty.
  m.vars["HOSTNAME"] = "";
  m.hostname_file("  box\n");
  const std::uint64_t h2 = base::fnv1a64("ada.l-x@box");
  std::snprintf(want, sizeof want, "u_%016llx", static_cast<unsigned long long>(h2));
  EXPECT_EQ(load_local_identity(m.env(), std::nullopt).user_id, want);
}

TEST(LocalIdentity, NobodyAnywhereGetsFreshIdAndDefaults) {
  FakeMachine m;  // no USER, USERNAME, HOSTNAME, data dir; hostname file missing
  auto a = load_local_identity(m.env(), std::nullopt);
  auto b = load_local_identity(m.env(), std::nullopt);
  EXPECT_NE(a.user_id, b.user_id);
  EXPECT_EQ(a.user_id.rfind("u_", 0), 0u);
  EXPECT_EQ(a.display_name, "You");
  EXPECT_EQ(a.initials, "Y");
}

}  // namespace
}  // namespace chat
