#pragma once
// Permission stance of a host. A host starts permissive; embedders (and tests)
// may hand it a restrictive context that grants only what is listed.

#include <cstdint>
#include <set>
#include <string>
#include <utility>

namespace vesk_actions {

enum class Permission : std::uint8_t { Read, Write, Capture, ShowMedia };

struct PermissionRequest {
  Permission permission = Permission::Read;
  // What the request concerns, e.g. a workspace id; empty for "anything".
  std::string scope;
};

class PermissionContext {
 public:
  static PermissionContext permissive();
  // Grants only the listed permissions, in every scope.
  static PermissionContext restrictive(std::set<Permission> granted);

  // Refuses one permission within one scope, whatever else is granted.
  PermissionContext& deny(Permission permission, std::string scope);

  bool check(const PermissionRequest& request) const;
  bool is_permissive() const { return all_granted_ && denied_.empty(); }

 private:
  bool all_granted_ = true;
  std::set<Permission> granted_;
  std::set<std::pair<Permission, std::string>> denied_;
};

}  // namespace vesk_actions
