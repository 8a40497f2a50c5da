#include "vesk_ui/accessibility.hpp"

#include <nlohmann/json.hpp>

namespace vesk_ui::accessibility {
namespace {

nlohmann::json node_json(const Node& n) {
  nlohmann::json j;
  j["role"] = n.role;
  j["label"] = n.label;
  if (!n.name.empty()) j["name"] = n.name;
  j["rect"] = {n.rect.x0, n.rect.y0, n.rect.x1, n.rect.y1};
  nlohmann::json kids = nlohmann::json::array();
  for (const Node& c : n.children) kids.push_back(node_json(c));
  j["children"] = std::move(kids);
  return j;
}

}  // namespace

std::optional<Action> parse_action(std::string_view s) {
  if (s == "activate") return Action::Activate;
  if (s == "focus") return Action::Focus;
  if (s == "set-text") return Action::SetText;
  return std::nullopt;
}

std::vector<Node> synthetic_nodes(const std::vector<HitRegion>& regions) {
  std::vector<Node> out;
  out.reserve(regions.size());
  for (const HitRegion& r : regions) {
    out.push_back(Node{
        "control", r.label.empty() ? std::string(kDefaultLabel) : r.label, r.rect, r.name, {}});
  }
  return out;
}

std::string to_json(const Node& root, const std::vector<Node>& synthetic) {
  nlohmann::json j;
  j["tree"] = node_json(root);
  nlohmann::json syn = nlohmann::json::array();
  for (const Node& n : synthetic) syn.push_back(node_json(n));
  j["synthetic"] = std::move(syn);
  // Labels come from users (channel names); replace broken UTF-8 rather than
  // failing the whole export.
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string to_json(const Tree& tree) {
  return to_json(tree.root, tree.synthetic);
}

}  // namespace vesk_ui::accessibility
