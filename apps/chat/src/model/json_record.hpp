#pragma once
// A record whose JSON names are its own C++ names: the type's name names the
// record (and the variant, inside a tagged union) and each member's name names
// its JSON member. Written through these macros each name is spelled once, so
// the JSON form cannot drift from the struct by a typo.
//
//   CHAT_JSON_RECORD(SendMessage, CHAT_REQUIRED(channel), CHAT_OPTIONAL(parent))
//
// declares json_shape() for the type where it stands, which must be the type's
// own namespace (strict_json finds shapes by argument-dependent lookup). Member
// order is the order of the JSON members and of the array form. Records whose
// member names differ from their JSON names spell their shapes out instead.

#include <type_traits>

#include "strict_json/codec.hpp"

#define CHAT_JSON_RECORD(Type, ...) CHAT_JSON_RECORD_NAMED(Type, #Type __VA_OPT__(, ) __VA_ARGS__)

// The same for a record whose JSON name is not its type's name; its members
// still go by their own names.
#define CHAT_JSON_RECORD_NAMED(Type, json_name, ...)                          \
  constexpr auto json_shape(std::type_identity<Type>) {                       \
    using Self = Type;                                                        \
    return ::strict_json::record<Self>(json_name __VA_OPT__(, ) __VA_ARGS__); \
  }

#define CHAT_REQUIRED(member) ::strict_json::required(#member, &Self::member)
#define CHAT_OPTIONAL(member) ::strict_json::optional(#member, &Self::member)
#define CHAT_DEFAULTED(member) ::strict_json::defaulted(#member, &Self::member)
