// The limits a SendMessage must meet: each row is one message and whether the
// document takes it. Refused messages leave the document untouched.

#include <gtest/gtest.h>

#include "doc/apply.hpp"
#include "doc/seeds.hpp"
#include "doc_test_support.hpp"

namespace chat::doc {
namespace {

using testing::hex_blob;
using testing::send;

struct Row {
  std::string name;
  ChatAction::SendMessage message;
  bool accepted;
};

ChatAction::SendMessage with_id(std::string id) {
  return send("c_general", std::move(id), "hi");
}
ChatAction::SendMessage with_attachment(Attachment a) {
  auto s = send("c_general", "m_attached", "see attached");
  s.attachment = std::move(a);
  return s;
}
ChatAction::SendMessage with_text(std::size_t bytes) {
  return send("c_general", "m_long", std::string(bytes, 'x'));
}
Attachment image(std::uint32_t w, std::uint32_t h, std::string name = "a.png",
                 std::string blob = hex_blob()) {
  return Attachment::Image{std::move(name), std::move(blob), w, h};
}

std::vector<Row> rows() {
  using V = Attachment::Video;
  using F = Attachment::File;
  const std::uint64_t kMiB32 = 32ull * 1024 * 1024;
  return {
      {"plain", with_id("m_ok-1_Z"), true},
      {"id with a space", with_id("m_a b"), false},
      {"empty id", with_id(""), false},
      {"id of 128 bytes", with_id(std::string(128, 'a')), true},
      {"id of 129 bytes", with_id(std::string(129, 'a')), false},
      {"id with a dot", with_id("m_a.b"), false},
      {"id with non-ascii", with_id("m_é"), false},
      {"id existing in another channel", with_id("m_open"), false},
      {"missing channel", send("c_nowhere", "m_x", "hi"), false},
      {"text at the limit", with_text(65536), true},
      {"text over the limit", with_text(65537), false},
      {"image 1x1", with_attachment(image(1, 1)), true},
      {"image of width 0", with_attachment(image(0, 10)), false},
      {"image at the side limit", with_attachment(image(16384, 16384)), true},
      {"image over the side limit", with_attachment(image(16385, 1)), false},
      {"video 0x0 of one byte", with_attachment(V{"v.webm", hex_blob(), 0, 0, 1}), true},
      {"video of zero bytes", with_attachment(V{"v.webm", hex_blob(), 1, 1, 0}), false},
      {"video over the side limit", with_attachment(V{"v.webm", hex_blob(), 16385, 1, 1}), false},
      {"file of 32 MiB", with_attachment(F{"f.bin", hex_blob(), kMiB32}), true},
      {"file over 32 MiB", with_attachment(F{"f.bin", hex_blob(), kMiB32 + 1}), false},
      {"upper-case blob", with_attachment(F{"f.bin", hex_blob('F'), 1}), true},
      {"blob of 63 digits", with_attachment(F{"f.bin", std::string(63, 'a'), 1}), false},
      {"blob of 70 characters", with_attachment(F{"f.bin", std::string(70, 'a'), 1}), false},
      {"blob with a non-hex digit", with_attachment(F{"f.bin", std::string(63, 'a') + "g", 1}),
       false},
      {"demo blob name", with_attachment(F{"f.bin", "vesk-demo://call-grid", 1}), false},
      {"empty name", with_attachment(image(1, 1, "")), false},
      {"name of 255 bytes", with_attachment(image(1, 1, std::string(255, 'n'))), true},
      {"name of 256 bytes", with_attachment(image(1, 1, std::string(256, 'n'))), false},
      {"name with a newline", with_attachment(image(1, 1, "a\nb.png")), false},
      {"name with DEL", with_attachment(image(1, 1, "a\x7f.png")), false},
      {"name with a C1 control", with_attachment(image(1, 1, "a\xc2\x85.png")), false},
      {"name with accents and emoji", with_attachment(image(1, 1, "café 🎉.png")), true},
      {"reply to a root", send("c_crit", "m_r", "yes", "m_concept"), true},
      {"reply to a root not here yet", send("c_crit", "m_r", "early", "m_later"), true},
      {"reply to a root of another channel", send("c_general", "m_r", "x", "m_concept"), true},
      {"reply to a reply", send("c_crit", "m_r", "nested", "m_reply"), false},
  };
}

class SendValidation : public ::testing::TestWithParam<Row> {};

TEST_P(SendValidation, AcceptsExactlyWhatMeetsTheLimits) {
  const Row& row = GetParam();
  crdt::Document d(testing::actor(1));
  WorkspaceDoc w(d);
  seed_demo(w);
  apply(w, send("c_crit", "m_reply", "a reply", "m_concept"));
  d.commit();
  testing::Model before = testing::project(d);

  EXPECT_EQ(send_message_acceptable(w, row.message), row.accepted);
  apply(w, row.message);
  if (!row.accepted) {
    EXPECT_EQ(d.pending_ops(), 0u);
    return;
  }
  d.commit();
  testing::Model after = testing::project(d);
  const Message* stored = after.message(row.message.channel, row.message.id);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->text, row.message.text);
  EXPECT_EQ(stored->attachment, row.message.attachment);
  EXPECT_EQ(stored->parent, row.message.parent);
  EXPECT_EQ(after.messages.at(row.message.channel).size(),
            before.messages[row.message.channel].size() + 1);
}

INSTANTIATE_TEST_SUITE_P(Limits, SendValidation, ::testing::ValuesIn(rows()),
                         testing::NamedByCase());

}  // namespace
}  // namespace chat::doc
