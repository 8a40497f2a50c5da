#pragma once
// Small records that travel inside messages and actions: who is mentioned, and
// which action resource (and which stretch of text) a message refers to.

#include <cstdint>
#include <optional>
#include <string>

namespace chat {

// A mention of a person inside a message text, located by UTF-8 byte offsets.
struct Mention {
  std::string user;  // person id; never empty
  std::uint64_t start = 0;
  std::uint64_t len = 0;
  bool is_agent = false;

  friend bool operator==(const Mention&, const Mention&) = default;
};

enum class SpanUnit { Chars, Bytes };

// A half-open stretch [start, end) of a text, counted in Unicode scalar values
// or in UTF-8 bytes.
struct Span {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  SpanUnit unit = SpanUnit::Bytes;

  friend bool operator==(const Span&, const Span&) = default;
};

// Names one action resource, such as kind "chat.message" and a message id.
struct ResourceRef {
  std::string kind;
  std::string id;
  std::string label;
  std::optional<Span> span;

  friend bool operator==(const ResourceRef&, const ResourceRef&) = default;
};

}  // namespace chat
