#pragma once
// ChatOperation: what the action framework may ask of the application without
// changing chat state — navigation, and importing a file. The variant order is
// part of the contract.

#include <cstddef>
#include <optional>
#include <string>
#include <variant>

namespace chat {

// The alternatives live in their own namespace: nested inside ChatOperation, their
// default member initialisers would not yet count when the variant is formed.
namespace chat_operation {

struct OpenWorkspace {  // 0
  std::string workspace;
  friend bool operator==(const OpenWorkspace&, const OpenWorkspace&) = default;
};
struct OpenChannel {  // 1
  std::string workspace;
  std::string channel;
  friend bool operator==(const OpenChannel&, const OpenChannel&) = default;
};
struct OpenCategory {  // 2
  std::string workspace;
  std::string category;
  friend bool operator==(const OpenCategory&, const OpenCategory&) = default;
};
struct RevealMessage {  // 3
  std::string workspace;
  std::string channel;
  std::string message;
  std::optional<std::string> parent;  // thread root, to open the thread too
  friend bool operator==(const RevealMessage&, const RevealMessage&) = default;
};
struct OpenPerson {  // 4
  std::string user;
  friend bool operator==(const OpenPerson&, const OpenPerson&) = default;
};
struct ImportAttachment {  // 5
  std::string channel;
  std::string path;
  friend bool operator==(const ImportAttachment&, const ImportAttachment&) = default;
};
}  // namespace chat_operation

struct ChatOperation {
  using OpenWorkspace = chat_operation::OpenWorkspace;
  using OpenChannel = chat_operation::OpenChannel;
  using OpenCategory = chat_operation::OpenCategory;
  using RevealMessage = chat_operation::RevealMessage;
  using OpenPerson = chat_operation::OpenPerson;
  using ImportAttachment = chat_operation::ImportAttachment;

  using Variant = std::variant<OpenWorkspace, OpenChannel, OpenCategory, RevealMessage, OpenPerson,
                               ImportAttachment>;
  static constexpr std::size_t kVariantCount = std::variant_size_v<Variant>;

  Variant value;

  ChatOperation() = default;
  template <typename T>
  requires std::is_constructible_v<Variant, T&&> &&
      (!std::is_same_v<std::decay_t<T>, ChatOperation>)ChatOperation(T&& v)
      : value(std::forward<T>(v)) {}  // NOLINT: implicit on purpose

  std::size_t index() const { return value.index(); }
  template <typename T>
  const T* get_if() const {
    return std::get_if<T>(&value);
  }
  // Navigation variants are views; importing a file has an effect.
  bool is_effect() const { return std::holds_alternative<ImportAttachment>(value); }
  friend bool operator==(const ChatOperation&, const ChatOperation&) = default;
};

}  // namespace chat
