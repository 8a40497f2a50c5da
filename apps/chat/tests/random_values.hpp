#pragma once
// Random chat values for round-trip properties. Written by hand, field by
// field, so that a member the JSON shape forgets shows up as a mismatch.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "model/agent_work.hpp"
#include "model/attachment.hpp"
#include "model/chat_action.hpp"
#include "model/chat_operation.hpp"
#include "model/resource_ref.hpp"

namespace chat::testing {

class RandomValues {
 public:
  explicit RandomValues(std::uint32_t seed) : rng_(seed) {}

  // Texts drawn from two short words only, so that equal values come up
  // often: for properties of writing a value equal to the one held.
  static RandomValues with_few_texts(std::uint32_t seed) {
    RandomValues values(seed);
    values.few_texts_ = true;
    return values;
  }

  bool coin() { return std::uniform_int_distribution<int>(0, 1)(rng_) == 1; }
  std::size_t below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

  // Text built from pieces that stress an encoder: quotes, escapes, control
  // characters, multi-byte letters, emoji with variation selectors and joiners.
  std::string text() {
    if (few_texts_) return coin() ? "a" : "b";
    static const char* const kPieces[] = {
        "a",
        "Zoë",
        " ",
        "\"",
        "\\",
        "/",
        "\n",
        "\t",
        "\x01",
        "\x1f",
        "\x7f",
        "日本語",
        "ß",
        "İ",
        "\u2764\ufe0f",
        "\u263a\ufe0e",
        "👍🏽",
        "🏳️‍🌈",
        "👨‍👩‍👧",
        "\u200d",
        "\ufeff",
        "𝄞",
        "@",
        "null",
        "{\"a\":1}",
        "[1,2]",
        "",
        "m_0123",
        "\xf4\x8f\xbf\xbf",
        "e\u0301",
    };
    std::string s;
    std::size_t n = below(8);
    for (std::size_t i = 0; i < n; ++i) {
      const char* piece = kPieces[below(std::size(kPieces))];
      // The empty piece stands for a NUL character.
      if (*piece == '\0') {
        s.push_back('\0');
      } else {
        s += piece;
      }
    }
    return s;
  }

  template <typename I>
  I integer() {
    // Favour the edges of the range, where truncation bugs live.
    switch (below(4)) {
      case 0:
        return std::numeric_limits<I>::min();
      case 1:
        return std::numeric_limits<I>::max();
      case 2:
        return static_cast<I>(below(3));
      default:
        return std::uniform_int_distribution<I>(std::numeric_limits<I>::min(),
                                                std::numeric_limits<I>::max())(rng_);
    }
  }

  std::optional<std::string> maybe_text() {
    return coin() ? std::optional<std::string>(text()) : std::nullopt;
  }

  ChannelKind channel_kind() { return coin() ? ChannelKind::Voice : ChannelKind::Text; }

  Mention mention() {
    return Mention{text(), integer<std::uint64_t>(), integer<std::uint64_t>(), coin()};
  }

  Span span() {
    return Span{integer<std::uint64_t>(), integer<std::uint64_t>(),
                coin() ? SpanUnit::Chars : SpanUnit::Bytes};
  }

  ResourceRef resource_ref() {
    ResourceRef r{text(), text(), text(), std::nullopt};
    if (coin()) r.span = span();
    return r;
  }

  Attachment attachment() {
    switch (below(3)) {
      case 0:
        return Attachment::Image{text(), text(), integer<std::uint32_t>(),
                                 integer<std::uint32_t>()};
      case 1:
        return Attachment::Video{text(), text(), integer<std::uint32_t>(), integer<std::uint32_t>(),
                                 integer<std::uint64_t>()};
      default:
        return Attachment::File{text(), text(), integer<std::uint64_t>()};
    }
  }

  AgentWorkState work_state() {
    switch (below(5)) {
      case 0:
        return AgentWorkState::Taken{};
      case 1:
        return AgentWorkState::Waiting{text()};
      case 2:
        return AgentWorkState::Doing{text(), text()};
      case 3:
        return AgentWorkState::Done{text()};
      default:
        return AgentWorkState::Refused{};
    }
  }

  AgentStepOutcome step_outcome() {
    switch (below(4)) {
      case 0:
        return AgentStepOutcome::Asked{};
      case 1:
        return AgentStepOutcome::Applied{};
      case 2:
        return AgentStepOutcome::NoChange{};
      default:
        return AgentStepOutcome::Refused{text()};
    }
  }

  AgentReasoning reasoning() {
    return AgentReasoning{coin() ? AgentRoute::Model : AgentRoute::Floor, text()};
  }

  AgentStep step() {
    return AgentStep{text(), integer<std::uint64_t>(), text(), text(), step_outcome()};
  }

  AgentWork work() {
    AgentWork w{work_state(), integer<std::int64_t>(), std::nullopt, {}};
    if (coin()) w.reasoning = reasoning();
    std::size_t steps = below(4);
    for (std::size_t i = 0; i < steps; ++i) w.trace.push_back(step());
    return w;
  }

  StoredAgentTransition transition() {
    return StoredAgentTransition{work_state(), integer<std::int64_t>()};
  }

  // An action of the given variant index with random fields.
  ChatAction action(std::size_t index);
  ChatOperation operation(std::size_t index);

 private:
  std::mt19937 rng_;
  bool few_texts_ = false;
};

inline ChatAction RandomValues::action(std::size_t index) {
  using A = ChatAction;
  switch (index) {
    case 0: {
      A::SendMessage m{text(),      text(),       text(),       integer<std::int64_t>(),
                       text(),      maybe_text(), std::nullopt, {},
                       std::nullopt};
      if (coin()) m.attachment = attachment();
      std::size_t n = below(4);
      for (std::size_t i = 0; i < n; ++i) m.mentions.push_back(mention());
      if (coin()) m.reference = resource_ref();
      return m;
    }
    case 1:
      return A::EditMessage{text(), text(), text(), integer<std::int64_t>()};
    case 2:
      return A::DeleteMessage{text(), text()};
    case 3:
      return A::AddReaction{text(), text(), text(), text()};
    case 4:
      return A::RemoveReaction{text(), text(), text(), text()};
    case 5:
      return A::PinMessage{text(), text(), coin()};
    case 6:
      return A::CreateChannel{text(), text(), text(), text(), channel_kind()};
    case 7:
      return A::CreateCategory{text(), text(), text()};
    case 8:
      return A::RenameCategory{text(), text()};
    case 9:
      return A::DeleteCategory{text()};
    case 10:
      return A::SetCategoryCollapsed{text(), coin()};
    case 11:
      return A::ReorderChannel{text(), coin()};
    case 12:
      return A::RenameChannel{text(), text()};
    case 13:
      return A::DeleteChannel{text()};
    case 14:
      return A::ArchiveChannel{text(), coin()};
    case 15:
      return A::MarkRead{text(), text(), integer<std::int64_t>()};
    case 16:
      return A::SetAgentWork{text(), text(), work(), maybe_text()};
    case 17:
      return A::JoinCall{text(), text()};
    case 18:
      return A::LeaveCall{text(), text()};
    case 19:
      return A::SetCallState{text(), text(), coin(), coin(), coin(), coin()};
    case 20:
      return A::SetScreenShare{text(), text(), coin()};
    default:
      return A::SetCallTicket{text(), text(), text()};
  }
}

inline ChatOperation RandomValues::operation(std::size_t index) {
  using O = ChatOperation;
  switch (index) {
    case 0:
      return O::OpenWorkspace{text()};
    case 1:
      return O::OpenChannel{text(), text()};
    case 2:
      return O::OpenCategory{text(), text()};
    case 3:
      return O::RevealMessage{text(), text(), text(), maybe_text()};
    case 4:
      return O::OpenPerson{text()};
    default:
      return O::ImportAttachment{text(), text()};
  }
}

// Encoding then decoding gives the value back, and encoding is a function of
// the value: a second trip gives the same text.
template <typename T, typename Encode, typename Decode>
void expect_round_trip(const T& value, Encode encode, Decode decode) {
  std::string json = encode(value);
  auto decoded = decode(json);
  ASSERT_TRUE(decoded.ok()) << decoded.error() << "\n" << json;
  EXPECT_EQ(*decoded, value) << json;
  EXPECT_EQ(encode(*decoded), json);
}

}  // namespace chat::testing
