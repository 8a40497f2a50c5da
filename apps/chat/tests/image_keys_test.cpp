#include "doc/image_keys.hpp"

#include <gtest/gtest.h>

#include "attachment_test_support.hpp"

namespace chat {
namespace {

using testing::InstalledStore;

const std::string kRef(64, 'a');

TEST(ImageKeys, DemoPicturesKeepTheirNameAndBlobsGetAPrefix) {
  EXPECT_EQ(image_key(kRef), "vesk-blob://" + kRef);
  EXPECT_EQ(image_key("vesk-demo://call-grid"), "vesk-demo://call-grid");
  EXPECT_EQ(image_key("demo:old"), "vesk-blob://demo:old");
}

TEST(ImageKeys, PlaceholderFollowsWhereTheBytesAre) {
  InstalledStore store;
  const std::vector<std::uint8_t> bytes = {1, 2, 3};
  const auto present = *strata::blobstore::put(bytes);
  const std::pair<std::string, std::string> cases[] = {
      {"vesk-demo://call-grid", "Loading image…"},
      {"vesk-demo://anything", "Loading image…"},
      {present, "Decoding image…"},
      {kRef, "Shared image unavailable"},
      {"demo:missing", "Shared image unavailable"},
  };
  for (const auto& [blob, text] : cases) EXPECT_EQ(placeholder_text(blob), text) << blob;
}

TEST(ImageKeys, ResolveGivesEncodedBytesOrNothing) {
  InstalledStore store;
  const std::vector<std::uint8_t> bytes = {9, 8, 7};
  const auto ref = *strata::blobstore::put(bytes);
  EXPECT_EQ(resolve_image(image_key(ref)), bytes);

  for (const auto& [name, w, h] :
       {std::tuple{"call-grid", 640u, 360u}, {"shared-shot", 620u, 400u}}) {
    auto png = resolve_image(std::string("vesk-demo://") + name);
    ASSERT_TRUE(png.has_value()) << name;
    EXPECT_EQ(strata::blobstore::sniff(*png), (strata::blobstore::ImageSize{w, h})) << name;
  }
  const std::string nothing[] = {
      "vesk-demo://other",   "vesk-demo://",
      "vesk-blob://" + kRef, "vesk-blob://not-a-ref",
      "vesk-blob://",        ref,
      "demo:call-grid",      "",
  };
  for (const auto& key : nothing) EXPECT_FALSE(resolve_image(key).has_value()) << key;
}

TEST(ImageKeys, AnEmptyBlobResolvesToNothing) {
  InstalledStore store;
  const auto empty = *strata::blobstore::put({});
  EXPECT_FALSE(resolve_image(image_key(empty)).has_value());
}

}  // namespace
}  // namespace chat
