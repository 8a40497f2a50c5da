#pragma once
// A small layout tree: a widget's build_layout answers one, the frame solves
// it against the window and apply_layout receives the rectangles. Children
// are stacked along their parent's axis; each takes a fixed length or a share
// of the remaining space by its flex weight and fills the cross axis.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/result.hpp"
#include "vesk_ui/geometry.hpp"

namespace vesk_ui {

enum class Axis : unsigned char { Row, Column };

struct LayoutNode {
  std::string id;  // optional; non-empty ids must be unique in the tree
  Axis axis = Axis::Column;
  std::optional<double> length;  // fixed length along the parent's axis
  double flex = 1;               // share of what the fixed siblings leave
  double padding = 0;
  double gap = 0;
  std::vector<LayoutNode> children;

  static LayoutNode fill(std::string id = "root") {
    LayoutNode n;
    n.id = std::move(id);
    return n;
  }
  static LayoutNode fixed(std::string id, double len) {
    LayoutNode n;
    n.id = std::move(id);
    n.length = len;
    n.flex = 0;
    return n;
  }
};

class LayoutResult {
 public:
  LayoutResult() = default;
  explicit LayoutResult(Rect root) : root_(root) {}

  const Rect& root() const { return root_; }
  // The rectangle of the node with that id, if the tree had one.
  std::optional<Rect> rect(std::string_view id) const;
  const std::vector<std::pair<std::string, Rect>>& rects() const { return rects_; }
  void add(std::string id, Rect r) { rects_.emplace_back(std::move(id), r); }

 private:
  Rect root_;
  std::vector<std::pair<std::string, Rect>> rects_;
};

// Solves `tree` in `area`. Fails, with a text naming the node, on a length,
// flex, padding or gap that is negative or not a number, on a duplicate id,
// and on an area that is empty or not finite. Fixed lengths that overflow
// the parent are kept (children overflow, as drawing clips them) and flexible
// siblings get nothing.
base::Result<LayoutResult> solve_layout(const LayoutNode& tree, Rect area);

}  // namespace vesk_ui
