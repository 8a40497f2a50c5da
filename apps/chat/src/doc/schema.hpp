#pragma once
// Keys of the workspace document. Other writers and older releases share these
// names, so they never change.

#include <string_view>

namespace chat::doc::key {

// Root map.
inline constexpr std::string_view kSeeded = "seeded";
inline constexpr std::string_view kWorkspaces = "workspaces";
inline constexpr std::string_view kCategories = "categories";
inline constexpr std::string_view kChannels = "channels";
inline constexpr std::string_view kUsers = "users";
inline constexpr std::string_view kMessages = "messages";
inline constexpr std::string_view kVoice = "voice";
inline constexpr std::string_view kDrafts = "drafts";
inline constexpr std::string_view kRead = "read";

// Record maps.
inline constexpr std::string_view kName = "name";
inline constexpr std::string_view kGlyph = "glyph";
inline constexpr std::string_view kColorIdx = "color_idx";
inline constexpr std::string_view kOrder = "order";
inline constexpr std::string_view kWorkspace = "workspace";
inline constexpr std::string_view kCategory = "category";
inline constexpr std::string_view kCollapsed = "collapsed";
inline constexpr std::string_view kTopic = "topic";
inline constexpr std::string_view kKind = "kind";
inline constexpr std::string_view kArchived = "archived";
inline constexpr std::string_view kInitials = "initials";
inline constexpr std::string_view kStatus = "status";
inline constexpr std::string_view kAgent = "agent";

// Message maps.
inline constexpr std::string_view kId = "id";
inline constexpr std::string_view kAuthor = "author";
inline constexpr std::string_view kTs = "ts";
inline constexpr std::string_view kParent = "parent";
inline constexpr std::string_view kEdited = "edited";
inline constexpr std::string_view kText = "text";
inline constexpr std::string_view kReactions = "reactions";
inline constexpr std::string_view kEmoji = "emoji";
inline constexpr std::string_view kUser = "user";
inline constexpr std::string_view kMentions = "mentions";
inline constexpr std::string_view kStart = "start";
inline constexpr std::string_view kLen = "len";
inline constexpr std::string_view kHistory = "history";
inline constexpr std::string_view kAttachment = "attachment";
inline constexpr std::string_view kBlob = "blob";
inline constexpr std::string_view kPath = "path";
inline constexpr std::string_view kW = "w";
inline constexpr std::string_view kH = "h";
inline constexpr std::string_view kSize = "size";
inline constexpr std::string_view kReference = "reference";
inline constexpr std::string_view kPinned = "pinned";
inline constexpr std::string_view kWork = "work";

// Presence maps.
inline constexpr std::string_view kTicket = "ticket";
inline constexpr std::string_view kTalking = "talking";
inline constexpr std::string_view kMuted = "muted";
inline constexpr std::string_view kDeafened = "deafened";
inline constexpr std::string_view kAudioOnly = "audio_only";
inline constexpr std::string_view kSharing = "sharing";

// Agent work maps.
inline constexpr std::string_view kTransition = "transition";
inline constexpr std::string_view kState = "state";
inline constexpr std::string_view kSince = "since";
inline constexpr std::string_view kReasoning = "reasoning";
inline constexpr std::string_view kTrace = "trace";
inline constexpr std::string_view kPresent = "present";
inline constexpr std::string_view kRoute = "route";
inline constexpr std::string_view kWhy = "why";
inline constexpr std::string_view kSequence = "sequence";
inline constexpr std::string_view kResource = "resource";
inline constexpr std::string_view kLabel = "label";
inline constexpr std::string_view kOutcome = "outcome";
inline constexpr std::string_view kApp = "app";
inline constexpr std::string_view kDid = "did";
inline constexpr std::string_view kAbout = "about";

// Document texts of enumerations.
inline constexpr std::string_view kVoiceKind = "voice";
inline constexpr std::string_view kTextKind = "text";

}  // namespace chat::doc::key
