// The once-per-run move of built-in picture names from "path" to "blob", and
// the bounds that keep it from stalling a frame on a huge document.

#include <gtest/gtest.h>

#include "doc/legacy_attachments.hpp"
#include "doc_test_support.hpp"

namespace chat::doc {
namespace {

const ObjId kRoot = ObjId::root();

class LegacyAttachments : public ::testing::Test {
 protected:
  ObjId list(std::string_view channel) {
    auto messages = *ensure_map(d, kRoot, key::kMessages);
    return *ensure_list(d, messages, channel);
  }
  // A message whose attachment map holds the given "blob" and "path".
  ObjId add(std::string_view channel, std::optional<std::string> blob,
            std::optional<crdt::Scalar> path) {
    ObjId l = list(channel);
    ObjId m = *d.insert_object(l, d.length(l), crdt::ObjType::Map);
    ObjId a = *d.put_object(m, key::kAttachment, crdt::ObjType::Map);
    EXPECT_TRUE(d.put(a, key::kKind, std::string("image")).ok());
    if (blob) {
      EXPECT_TRUE(d.put(a, key::kBlob, *blob).ok());
    }
    if (path) {
      EXPECT_TRUE(d.put(a, key::kPath, *path).ok());
    }
    return a;
  }
  crdt::Document d{testing::actor(1)};
};

TEST_F(LegacyAttachments, MovesOnlyDemoPathsWithoutBlob) {
  ObjId moved = add("c", std::string(""), std::string("vesk-demo://call-grid"));
  ObjId no_blob_key = add("c", std::nullopt, std::string("vesk-demo://x"));
  ObjId blob_kept = add("c", std::string("abc"), std::string("vesk-demo://y"));
  ObjId stored_blob = add("c", std::nullopt, std::string("vesk-blob://" + std::string(64, 'a')));
  ObjId long_path = add("c", std::nullopt, std::string("vesk-demo://" + std::string(245, 'z')));
  ObjId at_limit = add("c", std::nullopt, std::string("vesk-demo://" + std::string(244, 'z')));
  ObjId not_string = add("c", std::nullopt, crdt::Scalar(std::int64_t{1}));

  auto before = list_messages(d, "c");
  EXPECT_EQ(before[0].attachment->blob(), "vesk-demo://call-grid") << "read from path already";
  EXPECT_EQ(migrate_legacy_attachments(d), 3u);

  EXPECT_EQ(get_str(d, moved, key::kBlob), "vesk-demo://call-grid");
  EXPECT_FALSE(d.get(moved, key::kPath).has_value());
  EXPECT_EQ(get_str(d, no_blob_key, key::kBlob), "vesk-demo://x");
  EXPECT_EQ(get_str(d, at_limit, key::kBlob)->size(), 256u);
  for (ObjId untouched : {blob_kept, stored_blob, long_path, not_string}) {
    EXPECT_TRUE(d.get(untouched, key::kPath).has_value());
  }
  EXPECT_EQ(get_str(d, blob_kept, key::kBlob), "abc");
  EXPECT_EQ(list_messages(d, "c"), before) << "the model reads the same before and after";
  EXPECT_EQ(migrate_legacy_attachments(d), 0u);
}

TEST_F(LegacyAttachments, RewritesAtMost32PerRun) {
  for (int i = 0; i < 40; ++i) add("c", std::nullopt, std::string("vesk-demo://p"));
  EXPECT_EQ(migrate_legacy_attachments(d), 32u);
  EXPECT_EQ(migrate_legacy_attachments(d), 8u);
  EXPECT_EQ(migrate_legacy_attachments(d), 0u);
}

TEST_F(LegacyAttachments, VisitsAtMost256Messages) {
  for (int i = 0; i < 200; ++i) add("a", std::string("x"), std::nullopt);
  for (int i = 0; i < 56; ++i) add("b", std::string("x"), std::nullopt);
  ObjId beyond = add("b", std::nullopt, std::string("vesk-demo://late"));
  ObjId other_channel = add("c", std::nullopt, std::string("vesk-demo://later"));
  EXPECT_EQ(migrate_legacy_attachments(d), 0u);
  EXPECT_TRUE(d.get(beyond, key::kPath).has_value());
  EXPECT_TRUE(d.get(other_channel, key::kPath).has_value());
}

TEST_F(LegacyAttachments, VisitsAtMost256Channels) {
  for (int i = 0; i < 256; ++i)
    list("c_" + std::string(3 - std::to_string(i).size(), '0') + std::to_string(i));
  ObjId last = add("c_zzz", std::nullopt, std::string("vesk-demo://p"));
  EXPECT_EQ(migrate_legacy_attachments(d), 0u);
  EXPECT_TRUE(d.get(last, key::kPath).has_value());
}

}  // namespace
}  // namespace chat::doc
