#include "vesk_ui/layout.hpp"

#include <cmath>
#include <set>
#include <string>

namespace vesk_ui {

std::optional<Rect> LayoutResult::rect(std::string_view id) const {
  for (const auto& [name, r] : rects_) {
    if (name == id) return r;
  }
  return std::nullopt;
}

namespace {

std::string describe(const LayoutNode& n) {
  return n.id.empty() ? std::string("an unnamed layout node") : "layout node \"" + n.id + "\"";
}

bool bad(double v) {
  return !std::isfinite(v) || v < 0;
}

base::Status check(const LayoutNode& n, std::set<std::string, std::less<>>& ids) {
  if (n.length && bad(*n.length)) return base::make_error(describe(n) + " has an invalid length");
  if (bad(n.flex)) return base::make_error(describe(n) + " has an invalid flex weight");
  if (bad(n.padding)) return base::make_error(describe(n) + " has an invalid padding");
  if (bad(n.gap)) return base::make_error(describe(n) + " has an invalid gap");
  if (!n.id.empty() && !ids.insert(n.id).second) {
    return base::make_error("layout id \"" + n.id + "\" is used twice");
  }
  for (const auto& c : n.children) VESK_TRY_STATUS(check(c, ids));
  return {};
}

void place(const LayoutNode& n, Rect r, LayoutResult& out) {
  if (!n.id.empty()) out.add(n.id, r);
  if (n.children.empty()) return;
  Rect inner = r.inset(n.padding);
  bool row = n.axis == Axis::Row;
  double avail = row ? inner.width() : inner.height();
  double fixed = n.gap * static_cast<double>(n.children.size() - 1);
  double flex_total = 0;
  for (const auto& c : n.children) {
    if (c.length) {
      fixed += *c.length;
    } else {
      flex_total += c.flex;
    }
  }
  double spare = std::max(0.0, avail - fixed);
  double pos = row ? inner.x0 : inner.y0;
  for (const auto& c : n.children) {
    double len = c.length ? *c.length : (flex_total > 0 ? spare * c.flex / flex_total : 0);
    Rect cr =
        row ? Rect{pos, inner.y0, pos + len, inner.y1} : Rect{inner.x0, pos, inner.x1, pos + len};
    place(c, cr, out);
    pos += len + n.gap;
  }
}

}  // namespace

base::Result<LayoutResult> solve_layout(const LayoutNode& tree, Rect area) {
  if (!std::isfinite(area.x0) || !std::isfinite(area.y0) || !std::isfinite(area.x1) ||
      !std::isfinite(area.y1) || area.is_empty()) {
    return base::make_error("the window has no area to lay out in");
  }
  std::set<std::string, std::less<>> ids;
  VESK_TRY_STATUS(check(tree, ids));
  LayoutResult out(area);
  place(tree, area, out);
  return out;
}

}  // namespace vesk_ui
