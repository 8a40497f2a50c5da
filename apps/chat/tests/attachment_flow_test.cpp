#include "doc/attachment_flow.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "attachment_test_support.hpp"
#include "doc/demo_pictures.hpp"

namespace chat {
namespace {

using namespace std::chrono_literals;
using testing::InstalledStore;
using testing::ScratchDir;
using testing::write_bytes;
using testing::write_text;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// A flow over a scratch attachment directory, recording what it sends.
class FlowTest : public ::testing::Test {
 protected:
  FlowTest() {
    write_text(dir / "notes.txt", "hello");
    write_text(dir / "empty.txt", "");
    write_text(dir / "Clip.MOV", "moving");
    write_bytes(dir / "shot.png", *demo_picture_png("call-grid"));
  }

  AttachmentFlow::Hooks hooks() {
    AttachmentFlow::Hooks h;
    h.import_permitted = [this] { return permitted; };
    h.local_user = [] { return std::string("u_me"); };
    h.dispatch = [this](ChatAction a) { sent.push_back(std::move(a)); };
    h.new_message_id = [this] { return "m_" + std::to_string(next_id++); };
    h.now = [] { return std::int64_t{1782477600}; };
    return h;
  }

  // Runs frames until `done` holds, waiting on the result channel between
  // frames; fails the test rather than hang if the worker never reports.
  template <typename Pred>
  void run_frames_until(AttachmentFlow& flow, Pred done) {
    for (int i = 0; i < 100 && !done(); ++i) {
      flow.wait_for_result(10s);
      flow.drain();
    }
    ASSERT_TRUE(done());
  }

  ScratchDir dir;
  InstalledStore store;
  bool permitted = true;
  int next_id = 1;
  std::vector<ChatAction> sent;
};

TEST_F(FlowTest, OpeningThePickerListsTheDirectoryOnce) {
  AttachmentFlow flow(dir.path(), hooks());
  flow.open_picker();
  EXPECT_TRUE(flow.picker_open());
  EXPECT_EQ(flow.status(), "Loading attachments…");
  EXPECT_EQ(flow.outstanding_listing(), 0u);
  flow.open_picker();  // before the listing arrives
  EXPECT_EQ(flow.picker_counter(), 1u);
  EXPECT_EQ(flow.status(), "Loading attachments…");

  run_frames_until(flow, [&] { return !flow.outstanding_listing(); });
  EXPECT_EQ(flow.status(), std::nullopt);
  ASSERT_EQ(flow.entries().size(), 4u);
  EXPECT_EQ(flow.entries()[0].name, "Clip.MOV");
  EXPECT_TRUE(flow.entries()[0].video);
  EXPECT_EQ(flow.entries()[2].name, "notes.txt");
  EXPECT_EQ(flow.entries()[2].size, 5u);
}

TEST_F(FlowTest, AListingThatArrivesAfterThePickerClosedIsCancelled) {
  AttachmentFlow flow(dir.path(), hooks());
  flow.open_picker();
  run_frames_until(flow, [&] { return !flow.outstanding_listing(); });
  const auto first = flow.entries();
  write_text(dir / "later.txt", "x");

  flow.open_picker();
  flow.close_picker();
  run_frames_until(flow, [&] { return !flow.outstanding_listing(); });
  EXPECT_EQ(flow.status(), "Attachment picker cancelled");
  EXPECT_EQ(flow.entries(), first);
}

TEST_F(FlowTest, ReopeningBeforeTheListingArrivesShowsItAfterAll) {
  AttachmentFlow flow(dir.path(), hooks());
  flow.open_picker();
  flow.close_picker();
  flow.open_picker();
  EXPECT_TRUE(flow.picker_open());
  EXPECT_EQ(flow.picker_counter(), 1u);
  run_frames_until(flow, [&] { return !flow.outstanding_listing(); });
  EXPECT_EQ(flow.status(), std::nullopt);
  EXPECT_EQ(flow.entries().size(), 4u);
}

TEST_F(FlowTest, AFailedListingSaysWhy) {
  AttachmentFlow flow(dir / "gone", hooks());
  flow.open_picker();
  run_frames_until(flow, [&] { return !flow.outstanding_listing(); });
  EXPECT_EQ(flow.status(), "Attachment picker failed: workspace is unavailable");
  EXPECT_TRUE(flow.entries().empty());
}

TEST_F(FlowTest, OnlyTheOutstandingListingIsAccepted) {
  AttachmentFlow flow(dir.path(), hooks());
  flow.set_counters(7, 0);
  flow.open_picker();
  ASSERT_EQ(flow.outstanding_listing(), 7u);
  std::vector<PickerEntry> fake = {PickerEntry{dir / "fake", "fake", 1, false}};
  flow.handle_listing_result(ListingResult{6, fake});
  EXPECT_EQ(flow.outstanding_listing(), 7u);
  EXPECT_EQ(flow.status(), "Loading attachments…");
  EXPECT_TRUE(flow.entries().empty());
  flow.handle_listing_result(ListingResult{7, fake});
  EXPECT_EQ(flow.entries(), fake);
  // The real listing of request 7 arrives later and is dropped silently.
  ASSERT_TRUE(flow.wait_for_result(10s));
  flow.drain();
  EXPECT_EQ(flow.entries(), fake);
  EXPECT_EQ(flow.status(), std::nullopt);
}

TEST_F(FlowTest, ExhaustedCountersStartNothing) {
  AttachmentFlow flow(dir.path(), hooks());
  flow.set_counters(kMax, kMax);
  flow.open_picker();
  EXPECT_EQ(flow.status(), "Attachment picker unavailable: request counter exhausted");
  EXPECT_FALSE(flow.outstanding_listing());
  EXPECT_FALSE(flow.picker_open());
  EXPECT_FALSE(flow.start_import("c_1", dir / "notes.txt"));
  EXPECT_EQ(flow.status(), "Attachment import unavailable: request counter exhausted");
  EXPECT_FALSE(flow.pending_import());
  // One below the maximum is still a request.
  flow.set_counters(kMax - 1, kMax - 1);
  flow.open_picker();
  EXPECT_EQ(flow.outstanding_listing(), kMax - 1);
  EXPECT_TRUE(flow.start_import("c_1", dir / "notes.txt"));
  EXPECT_EQ(flow.import_counter(), kMax);
  run_frames_until(flow, [&] { return !flow.pending_import() && !flow.outstanding_listing(); });
}

struct ShareCase {
  const char* file;
  Attachment expected;  // blob filled in from the file's bytes
};

Attachment with_blob(Attachment a, const std::string& blob) {
  std::visit([&](auto& v) { v.blob = blob; }, a.value);
  return a;
}

TEST_F(FlowTest, AFinishedImportSendsTheAttachmentMessage) {
  const ShareCase cases[] = {
      {"shot.png", Attachment::Image{"shot.png", "", 640, 360}},
      {"notes.txt", Attachment::File{"notes.txt", "", 5}},
      {"Clip.MOV", Attachment::Video{"Clip.MOV", "", 0, 0, 6}},
  };
  AttachmentFlow flow(dir.path(), hooks());
  std::uint64_t id = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    sent.clear();
    ASSERT_TRUE(flow.start_import("c_general", dir / c.file));
    EXPECT_EQ(flow.status(), "Preparing attachment…");
    ASSERT_TRUE(flow.pending_import());
    EXPECT_EQ(flow.pending_import()->id, id++);
    EXPECT_EQ(flow.pending_import()->author, "u_me");
    run_frames_until(flow, [&] { return !flow.pending_import(); });
    EXPECT_EQ(flow.status(), "Attachment shared");
    ASSERT_EQ(sent.size(), 1u);
    ChatAction::SendMessage expected;
    expected.channel = "c_general";
    expected.id = "m_" + std::to_string(next_id - 1);
    expected.author = "u_me";
    expected.ts = 1782477600;
    expected.attachment =
        with_blob(c.expected, strata::blob_ref_of(testing::read_bytes(dir / c.file)));
    EXPECT_EQ(sent[0], ChatAction(expected));
  }
}

TEST_F(FlowTest, ASecondImportWaitsForTheFirst) {
  AttachmentFlow flow(dir.path(), hooks());
  ASSERT_TRUE(flow.start_import("c_1", dir / "notes.txt"));
  flow.handle_listing_result(ListingResult{0, std::vector<PickerEntry>{}});  // unrelated noise
  EXPECT_FALSE(flow.start_import("c_1", dir / "shot.png"));
  EXPECT_EQ(flow.status(), "Preparing attachment…");
  EXPECT_EQ(flow.import_counter(), 1u);
  run_frames_until(flow, [&] { return !flow.pending_import(); });
  EXPECT_EQ(sent.size(), 1u);
  EXPECT_TRUE(flow.start_import("c_1", dir / "shot.png"));
  run_frames_until(flow, [&] { return !flow.pending_import(); });
  EXPECT_EQ(sent.size(), 2u);
}

TEST_F(FlowTest, PermissionIsAskedAtTheStartAndAgainAtTheEnd) {
  AttachmentFlow flow(dir.path(), hooks());
  permitted = false;
  EXPECT_FALSE(flow.start_import("c_1", dir / "notes.txt"));
  EXPECT_EQ(flow.status(), std::nullopt);
  EXPECT_EQ(flow.import_counter(), 0u);

  permitted = true;
  ASSERT_TRUE(flow.start_import("c_1", dir / "notes.txt"));
  permitted = false;
  run_frames_until(flow, [&] { return !flow.pending_import(); });
  EXPECT_EQ(flow.status(), "Attachment import cancelled: permission changed");
  EXPECT_TRUE(sent.empty());
}

TEST_F(FlowTest, FailuresEndInAStatusAndSendNothing) {
  const std::pair<std::string, std::string> cases[] = {
      {"empty.txt", "Attachment import failed: file is empty"},
      {"missing.txt", "Attachment import failed: file is unavailable"},
      {"/etc/hostname", "Attachment import failed: file is outside the attachment directory"},
  };
  AttachmentFlow flow(dir.path(), hooks());
  for (const auto& [file, status] : cases) {
    ASSERT_TRUE(flow.start_import("c_1", file.front() == '/' ? file : (dir / file).string()));
    run_frames_until(flow, [&] { return !flow.pending_import(); });
    EXPECT_EQ(flow.status(), status);
  }
  EXPECT_TRUE(sent.empty());
}

TEST_F(FlowTest, StaleImportResultsAreDiscarded) {
  AttachmentFlow flow(dir.path(), hooks());
  flow.handle_import_result(ImportResult{0, ImportedFile{}});  // nothing pending
  EXPECT_EQ(flow.status(), "Attachment import discarded: stale result");

  flow.set_counters(0, 5);
  ASSERT_TRUE(flow.start_import("c_1", dir / "notes.txt"));
  flow.handle_import_result(ImportResult{4, ImportedFile{"f", "old.txt", 1, 0, 0, false}});
  EXPECT_EQ(flow.status(), "Attachment import discarded: stale result");
  ASSERT_TRUE(flow.pending_import());
  EXPECT_EQ(flow.pending_import()->id, 5u);
  run_frames_until(flow, [&] { return !flow.pending_import(); });
  EXPECT_EQ(flow.status(), "Attachment shared");
  ASSERT_EQ(sent.size(), 1u);
  const auto* send = sent[0].get_if<ChatAction::SendMessage>();
  ASSERT_NE(send, nullptr);
  EXPECT_EQ(send->attachment->name(), "notes.txt");
}

TEST_F(FlowTest, DestroyingTheFlowWaitsForItsWorkers) {
  auto flow = std::make_unique<AttachmentFlow>(dir.path(), hooks());
  flow->open_picker();
  ASSERT_TRUE(flow->start_import("c_1", dir / "shot.png"));
  // Joins both threads while they may still run; under the sanitizers this
  // catches a worker outliving the channel it reports to.
  flow.reset();
  EXPECT_TRUE(sent.empty());
}

TEST(AttachmentOf, ChoosesTheVariantFromTheResult) {
  EXPECT_EQ(attachment_of({"b", "v.mp4", 9, 640, 360, true}),
            Attachment(Attachment::Video{"v.mp4", "b", 0, 0, 9}));
  EXPECT_EQ(attachment_of({"b", "i.png", 9, 640, 360, false}),
            Attachment(Attachment::Image{"i.png", "b", 640, 360}));
  EXPECT_EQ(attachment_of({"b", "odd.png", 9, 640, 0, false}),
            Attachment(Attachment::File{"odd.png", "b", 9}));
  // The largest side any replica accepts, and one past it.
  EXPECT_EQ(attachment_of({"b", "tall.png", 9, 1, 16384, false}),
            Attachment(Attachment::Image{"tall.png", "b", 1, 16384}));
  EXPECT_EQ(attachment_of({"b", "wide.png", 9, 16385, 2, false}),
            Attachment(Attachment::File{"wide.png", "b", 9}));
}

}  // namespace
}  // namespace chat
