// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageEvent.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace simdjson::dom {
class parser;
}

namespace tallyvue::detail {

enum class TranscriptKind : std::uint8_t { Claude, Codex };

/// The marker a line must contain before it is parsed at all.
std::string_view transcriptMarker(TranscriptKind kind);

/// The working directory and model a Codex session announced last. A reader that starts in
/// the middle of a file does not know them yet: events then inherit them later.
struct CodexContext
{
    std::optional<InternedString> project;
    std::optional<InternedString> model;
    /// The last token_count's cumulative "total_token_usage", as a hash that equal objects
    /// share whatever their key order.
    std::optional<std::uint64_t> lastTotal;
    /// The newest "rate_limits" of the bytes read so far.
    std::optional<CodexRateLimits> lastLimits;
};

/// One event read from one line, before de-duplication.
struct LineEvent
{
    LocalUsageEvent event;
    /// "message"."id" of a Claude line; empty for none. Points into the parser's memory.
    std::string_view id;
    bool hasId = false;
    /// Codex: no cwd / model was announced before this line in the bytes read so far.
    bool inheritsProject = false;
    bool inheritsModel = false;
    /// Codex: the first cumulative total of the bytes read so far. The event repeats the
    /// previous token_count, and must not count, if the file's remembered total equals it.
    bool repeatsIfTotalKnown = false;
};

/// Last path component of a working directory ("/home/me/app/" gives "app").
std::string_view lastPathComponent(std::string_view path);

/// Texts interned through a small per-reader map, so the shared pool's lock is rarely taken.
class NameCache
{
public:
    InternedString get(std::string_view utf8);

private:
    std::unordered_map<std::string, InternedString> m_names;
    std::string m_lastKey;
    InternedString m_last;
    bool m_hasLast = false;
};

/**
 * Applies the Claude and Codex line rules to one complete line (without its line feed).
 * The line must stay readable for 64 bytes past its end (the JSON parser reads in blocks).
 * Not thread-safe: one per reading thread.
 */
class LineParser
{
public:
    LineParser();
    ~LineParser();
    LineParser(const LineParser&) = delete;
    LineParser& operator=(const LineParser&) = delete;

    /// Claude: `fallbackProject` is the transcript's folder name. Codex: `context` is read and
    /// updated by session_meta and turn_context lines.
    std::optional<LineEvent> parse(TranscriptKind kind, std::string_view line, InternedString fallbackProject,
                                   CodexContext& context);
    /// Gives back the memory that a long line made the parser take.
    void trim();

private:
    std::optional<LineEvent> parseClaude(std::string_view line, InternedString fallbackProject);
    std::optional<LineEvent> parseCodex(std::string_view line, CodexContext& context);
    bool parseDocument(std::string_view line);

    std::unique_ptr<simdjson::dom::parser> m_parser;
    NameCache m_models;
    NameCache m_projects;
};

/// Padding the parser may read past a line's end.
inline constexpr std::size_t kLinePadding = 64;

} // namespace tallyvue::detail
