#pragma once
// Who the local user is: the author of every action they cause.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/environment.hpp"
#include "runtime_identity/identity.hpp"

namespace chat {

struct LocalIdentity {
  std::string user_id;
  std::string display_name;
  std::string initials;
  std::int64_t color_idx = 0;
};

// The login name split at '.', '_', '-' and spaces and joined with single
// spaces; "You" when nothing is left.
std::string environment_name(const Environment& env);

// The low three bits of the FNV-1a hash of the user id: an index into the
// eight-colour presence palette.
std::int64_t color_index_for(std::string_view user_id);

// Up to two upper-case initials of a display name; "Y" when it has none.
std::string initials_or_default(std::string_view display_name);

// Tries the machine's identity store, then the stored "peer-id" in the data
// directory (creating it when absent), then an id derived from login@host.
LocalIdentity load_local_identity(const Environment& env,
                                  const std::optional<runtime_identity::Identity>& machine);

// The same with the machine identity read from the identity store.
LocalIdentity load_local_identity(const Environment& env);

}  // namespace chat
