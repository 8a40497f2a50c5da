#include "app/overview_widget.hpp"

#include <algorithm>

#include "doc/projection.hpp"
#include "doc/seeds.hpp"
#include "vesk_ui/painter.hpp"
#include "vesk_ui/text.hpp"
#include "vesk_ui/theme.hpp"

namespace chat {

OverviewWidget::OverviewWidget(LocalIdentity me, std::string data_dir_text)
    : me_(std::move(me)), data_dir_text_(std::move(data_dir_text)) {}

void OverviewWidget::sync(vesk_ui::SyncContext& ctx) {
  has_document_ = ctx.document != nullptr;
  if (!ctx.document) return;
  crdt::Document& doc = *ctx.document;
  if (!doc::is_seeded(doc)) {
    doc::seed_home(doc, me_.user_id, me_.display_name, me_.initials);
    doc.commit();
  }
  if (!person_upserted_) {
    // Once per run: a start with an unchanged identity writes nothing.
    if (doc::upsert_local_person(doc, me_.user_id, me_.display_name, me_.initials, me_.color_idx,
                                 PersonStatus::Online))
      doc.commit();
    person_upserted_ = true;
  }
  workspaces_ = doc::list_workspaces(doc);
  channels_ = doc::list_channels(doc);
  persons_ = doc::list_persons(doc);
}

void OverviewWidget::draw(vesk_ui::DrawContext& ctx) {
  const auto& c = ctx.theme.colors;
  auto& p = ctx.painter;
  auto& text = ctx.text;
  p.clear(c.base);

  double y = 28;
  const double x = 32;
  text.draw_text_weighted(p, "vesk-chat", {x, y}, 22, 2, c.text);
  y += 40;
  text.draw_text(p, me_.display_name + "  ·  " + me_.user_id, {x, y}, 14, c.text_dim);
  y += 24;
  text.draw_text(p, "Data: " + data_dir_text_, {x, y}, 12, c.text_dim);
  y += 36;

  if (!has_document_) {
    text.draw_text(p, "No workspace document could be opened.", {x, y}, 14, c.danger);
    return;
  }
  for (const auto& ws : workspaces_) {
    p.fill_rounded_rect(vesk_ui::Rect::from_xywh(x, y, ctx.window.w - 2 * x, 30), ctx.theme.radius_small, c.raised);
    text.draw_text_weighted(p, ws.name, {x + 12, y + 6}, 15, 2, c.text);
    y += 38;
    for (const auto& ch : channels_) {
      if (ch.workspace != ws.id) continue;
      const std::string mark = ch.kind == ChannelKind::Voice ? "\u25B8 " : "# ";
      text.draw_text(p, mark + ch.name, {x + 24, y}, 14, c.text);
      y += 22;
      if (y > ctx.window.h - 40) return;
    }
    y += 12;
  }
  text.draw_text(p, std::to_string(persons_.size()) + " people", {x, y}, 12, c.text_dim);
}

}  // namespace chat
