#include "vesk_actions/permission.hpp"

namespace vesk_actions {

PermissionContext PermissionContext::permissive() {
  return PermissionContext{};
}

PermissionContext PermissionContext::restrictive(std::set<Permission> granted) {
  PermissionContext ctx;
  ctx.all_granted_ = false;
  ctx.granted_ = std::move(granted);
  return ctx;
}

PermissionContext& PermissionContext::deny(Permission permission, std::string scope) {
  denied_.emplace(permission, std::move(scope));
  return *this;
}

bool PermissionContext::check(const PermissionRequest& request) const {
  // An empty scope in a denial covers every scope.
  if (denied_.count({request.permission, std::string()}) ||
      denied_.count({request.permission, request.scope})) {
    return false;
  }
  return all_granted_ || granted_.count(request.permission) > 0;
}

}  // namespace vesk_actions
