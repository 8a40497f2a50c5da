#pragma once
// Accessibility nodes: what a view exports each frame for screen readers and
// automation. A node has a role, a label, its rectangle and children; the
// clickable regions of a frame are exported beside the tree as synthetic
// nodes carrying their semantic name. The tree travels as JSON.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vesk_ui/geometry.hpp"

namespace vesk_ui::accessibility {

struct Node {
  std::string role;   // "window", "menu", "menuitem", "button", "text-input", ...
  std::string label;  // what a screen reader says
  Rect rect;
  std::string name;  // the semantic name automation uses, when it has one
  std::vector<Node> children;
  friend bool operator==(const Node&, const Node&) = default;
};

// One clickable region of a frame.
struct HitRegion {
  Rect rect;
  std::string name;   // semantic name
  std::string label;  // accessible label; empty takes the default
};

// The label given to regions without one of their own.
inline constexpr std::string_view kDefaultLabel = "Control";

// Semantic actions an automation client (or an accessibility bridge) can
// ask of a named control.
enum class Action : unsigned char { Activate, Focus, SetText };
std::optional<Action> parse_action(std::string_view s);

struct SemanticAction {
  Action action = Action::Activate;
  std::string text;  // the new text, for SetText
};

// What a view exports for one frame: its tree, and its clickable regions as
// synthetic nodes beside it.
struct Tree {
  Node root;
  std::vector<Node> synthetic;
  friend bool operator==(const Tree&, const Tree&) = default;
};

std::vector<Node> synthetic_nodes(const std::vector<HitRegion>& regions);

// {"tree": <node>, "synthetic": [<node>...]}; a node is
// {"role","label","name","rect":[x0,y0,x1,y1],"children":[...]}.
std::string to_json(const Node& root, const std::vector<Node>& synthetic = {});
std::string to_json(const Tree& tree);

}  // namespace vesk_ui::accessibility
