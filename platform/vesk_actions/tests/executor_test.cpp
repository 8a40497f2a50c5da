#include "vesk_actions/executor.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "vesk_actions/control_queue.hpp"
#include "vesk_actions/journal.hpp"
#include "vesk_actions/permission.hpp"

namespace vesk_actions {
namespace {

// A document that records writes and turns each commit into a "change" whose
// hash becomes the single head.
struct FakeDoc {
  std::vector<std::string> pending;
  std::vector<std::vector<std::string>> changes;
};

class FakeTarget final : public DocumentTarget<FakeDoc> {
 public:
  FakeDoc doc;
  int rollbacks = 0;
  FakeDoc& document() override { return doc; }
  std::vector<std::string> heads() const override {
    if (doc.changes.empty()) return {};
    return {"h" + std::to_string(doc.changes.size())};
  }
  std::string actor() const override { return "actor-1"; }
  void commit(std::string_view) override {
    if (doc.pending.empty()) return;
    doc.changes.push_back(std::move(doc.pending));
    doc.pending.clear();
  }
  void rollback() override {
    ++rollbacks;
    doc.pending.clear();
  }
};

class WriteAction final : public DecodedAction {
 public:
  explicit WriteAction(std::string text) : text_(std::move(text)) {}
  std::string debug_text() const override { return "Write(" + text_ + ")"; }
  base::Status apply(ActionTarget& target) const override {
    auto* t = dynamic_cast<DocumentTarget<FakeDoc>*>(&target);
    if (!t) return base::make_error("not a fake document");
    for (char c : text_) t->document().pending.emplace_back(1, c);
    if (text_.find('!') != std::string::npos) return base::make_error("refused " + text_);
    return {};
  }

 private:
  std::string text_;
};

ActionRegistry registry_with_write() {
  ActionRegistry registry;
  EXPECT_TRUE(registry
                  .register_kind(
                      "test.write",
                      [](std::string_view payload) -> base::Result<std::unique_ptr<DecodedAction>> {
                        if (payload.empty()) return base::make_error("empty payload");
                        return std::unique_ptr<DecodedAction>(
                            new WriteAction(std::string(payload)));
                      })
                  .ok());
  return registry;
}

TEST(ActionRegistry, RefusesDuplicateAndEmptyKinds) {
  auto registry = registry_with_write();
  EXPECT_FALSE(registry
                   .register_kind("test.write",
                                  [](std::string_view) {
                                    return base::Result<std::unique_ptr<DecodedAction>>(
                                        base::make_error("x"));
                                  })
                   .ok());
  EXPECT_FALSE(registry.register_kind("", {}).ok());
  EXPECT_EQ(registry.kinds(), std::vector<std::string>{"test.write"});
}

TEST(Executor, EachDispatchIsOneCommittedChange) {
  auto registry = registry_with_write();
  FakeTarget target;
  std::vector<std::string> forwarded;
  LocalTransport transport(target, [&](const EncodedAction& a, const ActionContext& ctx) {
    forwarded.push_back(a.payload + "@" + ctx.actor);
  });
  auto r1 = dispatch_by(registry, {"test.write", "abc", std::nullopt}, transport);
  ASSERT_TRUE(r1.ok());
  EXPECT_EQ(r1.receipt->debug_text, "Write(abc)");
  const ActionContext ctx = ActionContext{}.enriched_by(target.heads(), target.actor());
  EXPECT_EQ(ctx.heads, std::vector<std::string>{"h1"});
  EXPECT_EQ(ctx.actor, "actor-1");
  EXPECT_EQ(ctx.origin, "local");
  auto r2 = dispatch_by_with_context(registry, {"test.write", "de", std::nullopt}, transport, ctx);
  ASSERT_TRUE(r2.ok());
  ASSERT_EQ(target.doc.changes.size(), 2u);
  EXPECT_EQ(target.doc.changes[0], (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(target.doc.changes[1], (std::vector<std::string>{"d", "e"}));
  EXPECT_EQ(forwarded, (std::vector<std::string>{"abc@", "de@actor-1"}));
}

TEST(Executor, FailuresLeaveTheDocumentUnchangedAndSayWhy) {
  auto registry = registry_with_write();
  FakeTarget target;
  int forwarded = 0;
  LocalTransport transport(target,
                           [&](const EncodedAction&, const ActionContext&) { ++forwarded; });
  struct Case {
    EncodedAction action;
    ActionErrorKind kind;
    std::string display;
  };
  const Case cases[] = {
      {{"test.other", "x", std::nullopt},
       ActionErrorKind::UnknownKind,
       "unknown action kind: test.other"},
      {{"test.write", "", std::nullopt},
       ActionErrorKind::Decode,
       "action could not be decoded: empty payload"},
      {{"test.write", "ab!", std::nullopt},
       ActionErrorKind::Apply,
       "action could not be applied: refused ab!"},
  };
  for (const auto& c : cases) {
    auto r = dispatch_by(registry, c.action, transport);
    ASSERT_FALSE(r.ok()) << c.display;
    EXPECT_EQ(r.error->kind, c.kind);
    EXPECT_EQ(r.error->display(), c.display);
  }
  EXPECT_TRUE(target.doc.changes.empty());
  EXPECT_TRUE(target.doc.pending.empty());
  EXPECT_EQ(target.rollbacks, 1);
  EXPECT_EQ(forwarded, 0);
}

TEST(TypedActionJournal, KeepsTheNewestEntriesWithHeadsBeforeAndAfter) {
  TypedActionJournal journal(3);
  const EncodedAction action{"test.write", "x", std::nullopt};
  for (int i = 1; i <= 5; ++i) {
    TypedActionRecord record{"org.example.app", "App", "{}", "Write " + std::to_string(i),
                             {"test.doc", "d"}, "d"};
    auto before = typed_action_before(journal, action, record, {"h" + std::to_string(i - 1)}, "me");
    ASSERT_TRUE(before);
    EXPECT_EQ(before->sequence, static_cast<std::uint64_t>(i));
    report_typed_action(journal, std::move(*before), {"h" + std::to_string(i)});
  }
  ASSERT_EQ(journal.entries().size(), 3u);
  EXPECT_EQ(journal.evicted(), 2u);
  const auto& first = journal.entries().front();
  EXPECT_EQ(first.sequence, 3u);
  EXPECT_EQ(first.record.label, "Write 3");
  EXPECT_EQ(first.heads_before, std::vector<std::string>{"h2"});
  EXPECT_EQ(first.heads_after, std::vector<std::string>{"h3"});
  EXPECT_EQ(first.actor, "me");
  EXPECT_EQ(first.kind, "test.write");
}

TEST(TypedActionJournal, GivesNoRecordForOperationsOrWhenSwitchedOff) {
  TypedActionJournal journal;
  EXPECT_FALSE(typed_action_before(journal, {"op", "{}", OperationType::View}, {}, {}, ""));
  TypedActionJournal off(0);
  EXPECT_FALSE(typed_action_before(off, {"test.write", "x", std::nullopt}, {}, {}, ""));
}

TEST(PermissionContext, PermissiveRestrictiveAndScopedDenials) {
  const auto all = PermissionContext::permissive();
  EXPECT_TRUE(all.is_permissive());
  for (auto p : {Permission::Read, Permission::Write, Permission::Capture, Permission::ShowMedia}) {
    EXPECT_TRUE(all.check({p, "ws_1"}));
  }
  const auto view_only = PermissionContext::restrictive({Permission::Read});
  EXPECT_TRUE(view_only.check({Permission::Read, "ws_1"}));
  EXPECT_FALSE(view_only.check({Permission::Write, "ws_1"}));
  EXPECT_FALSE(view_only.check({Permission::Capture, ""}));
  auto scoped = PermissionContext::permissive();
  scoped.deny(Permission::Write, "ws_locked");
  EXPECT_FALSE(scoped.is_permissive());
  EXPECT_FALSE(scoped.check({Permission::Write, "ws_locked"}));
  EXPECT_TRUE(scoped.check({Permission::Write, "ws_open"}));
  scoped.deny(Permission::Capture, "");
  EXPECT_FALSE(scoped.check({Permission::Capture, "anything"}));
}

TEST(ControlQueue, BoundedAndSafeAcrossThreads) {
  ControlQueue queue(100);
  std::thread producer([&] {
    for (int i = 0; i < 150; ++i)
      queue.push({"c" + std::to_string(i), SemanticAction::Activate, ""});
  });
  producer.join();
  EXPECT_EQ(queue.size(), 100u);
  auto first = queue.drain(10);
  ASSERT_EQ(first.size(), 10u);
  EXPECT_EQ(first.front().name, "c0");
  EXPECT_EQ(queue.drain().size(), 90u);
  EXPECT_TRUE(queue.push({"again", SemanticAction::SetText, "x"}));
  for (auto a : {SemanticAction::Activate, SemanticAction::Focus, SemanticAction::SetText}) {
    EXPECT_EQ(semantic_action_from_name(semantic_action_name(a)), a);
  }
}

}  // namespace
}  // namespace vesk_actions
