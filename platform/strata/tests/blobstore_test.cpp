#include "strata/blobstore.hpp"

#include <gtest/gtest.h>

#include "temp_dir.hpp"

namespace strata {
namespace {

using testing::bytes_of;

TEST(ProcessBlobStore, CallsGoToTheInstalledStoreAndFailCleanlyWithoutOne) {
  blobstore::set_store(nullptr);
  auto none = blobstore::put(bytes_of("abc"));
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error(), "no blob store is installed");
  EXPECT_FALSE(blobstore::put_checked(blob_ref_of(bytes_of("abc")), bytes_of("abc")).ok());
  EXPECT_FALSE(blobstore::evict_unreferenced({}).ok());
  EXPECT_FALSE(blobstore::get(blob_ref_of(bytes_of("abc"))).has_value());
  EXPECT_EQ(blobstore::state(blob_ref_of(bytes_of("abc"))), BlobState::Unavailable);

  testing::TempDir dir;
  auto store = std::make_shared<FsBlobStore>(dir / "blobs", 33554432, 268435456, 8192, 16384);
  blobstore::set_store(store);
  EXPECT_EQ(blobstore::store(), store);
  auto ref = blobstore::put(bytes_of("abc"));
  ASSERT_TRUE(ref.ok());
  EXPECT_EQ(blobstore::get(*ref), bytes_of("abc"));
  EXPECT_TRUE(blobstore::has(*ref));
  EXPECT_EQ(blobstore::state(*ref), BlobState::Present);
  EXPECT_EQ(static_cast<int>(blobstore::state(*ref)), 0);
  EXPECT_EQ(blobstore::state(blob_ref_of(bytes_of("elsewhere"))), BlobState::Unavailable);
  EXPECT_EQ(static_cast<int>(blobstore::state("vesk-demo://call-grid")), 2);
  auto checked = blobstore::put_checked(blob_ref_of(bytes_of("xyz")), bytes_of("xyz"));
  ASSERT_TRUE(checked.ok());
  auto evicted = blobstore::evict_unreferenced({*ref});
  ASSERT_TRUE(evicted.ok());
  EXPECT_EQ(*evicted, 1u);
  EXPECT_FALSE(blobstore::has(*checked));

  blobstore::set_store(nullptr);
  EXPECT_FALSE(blobstore::has(*ref));
}

}  // namespace
}  // namespace strata
