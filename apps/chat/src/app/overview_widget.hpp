#pragma once
// The window's root widget until the full conversation views arrive: it
// seeds a new document with the home workspace, keeps the local person
// current, and shows the workspaces, their channels and who the user is,
// read from the document every frame.

#include <string>
#include <vector>

#include "app/local_identity.hpp"
#include "model/records.hpp"
#include "vesk_ui/widget.hpp"

namespace chat {

class OverviewWidget : public vesk_ui::Widget {
 public:
  explicit OverviewWidget(LocalIdentity me, std::string data_dir_text);

  std::string_view type_name() const override { return "chat::OverviewWidget"; }
  void sync(vesk_ui::SyncContext& ctx) override;
  void draw(vesk_ui::DrawContext& ctx) override;

 private:
  LocalIdentity me_;
  std::string data_dir_text_;
  bool person_upserted_ = false;
  std::vector<Workspace> workspaces_;
  std::vector<Channel> channels_;
  std::vector<Person> persons_;
  bool has_document_ = false;
};

}  // namespace chat
