// SPDX-License-Identifier: MIT
#pragma once

#include "local/MarkerSearch.h"
#include "local/TranscriptLine.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tallyvue::detail {

/// One event of a read, with its id copied out.
struct ReadEvent
{
    LocalUsageEvent event;
    std::uint64_t idHash = 0;
    std::uint32_t idOffset = 0; ///< into ReadResult::idBytes
    std::uint32_t idLength = 0;
    bool hasId = false;
    bool inheritsProject = false;
    bool inheritsModel = false;
};

/// A byte range of one transcript to read.
struct ReadRange
{
    std::int64_t begin = 0; ///< a line start, or inside a line being skipped (see `skipping`)
    std::int64_t end = 0;   ///< the file's size when it was listed
    /// `begin` lies inside an overlong line of an earlier read: drop bytes up to its line feed.
    bool skipping = false;
};

struct ReadResult
{
    /// Bytes up to here are done: just after a line feed, or inside an overlong line.
    std::int64_t consumed = 0;
    /// `consumed` lies inside an overlong line that the next read keeps skipping.
    bool skipping = false;
    /// A line longer than the limit was met and skipped.
    bool skippedLongLine = false;
    /// The file could not be read; nothing of this read may be used.
    bool failed = false;
    std::uint64_t bytesRead = 0;
    std::vector<ReadEvent> events;
    std::string idBytes;
    /// Codex announcements made in this range (the last of each).
    CodexContext context;
    /// Codex: this event does not count if the file's remembered cumulative total, from
    /// before this range, equals `openingTotal`.
    std::size_t openingEvent = kNoEvent;
    std::uint64_t openingTotal = 0;

    static constexpr std::size_t kNoEvent = std::size_t(-1);

    std::string_view id(const ReadEvent& e) const { return std::string_view(idBytes).substr(e.idOffset, e.idLength); }
};

/**
 * Reads complete lines of a byte range in bounded chunks and turns those that carry the
 * marker into events. Lines longer than a chunk are searched as they stream by and read
 * again only when they carry the marker; a line longer than `maxLineBytes` is skipped
 * without ever being held. Repeated rows of one message id (streaming) keep the one with the
 * highest output tokens, the later on a tie. One reader per thread.
 */
class TranscriptReader
{
public:
    static constexpr std::size_t kDefaultChunk = 512u << 10;
    static constexpr std::size_t kDefaultMaxLine = 64u << 20;

    explicit TranscriptReader(std::size_t chunkBytes = kDefaultChunk, std::size_t maxLineBytes = kDefaultMaxLine);

    /// `fd` is read with pread only, so readers may share it.
    ReadResult read(int fd, TranscriptKind kind, const ReadRange& range, InternedString fallbackProject);
    /// Gives back memory taken for long lines, for a reader kept between scans.
    void trim() { m_parser.trim(); }

private:
    void handleLine(std::string_view line, ReadResult& out);
    void readLongLine(int fd, std::int64_t start, std::int64_t length, ReadResult& out);

    std::size_t m_chunk;
    std::size_t m_maxLine;
    std::unique_ptr<char[]> m_buffer;
    LineParser m_parser;
    MarkerSearch m_claudeMarker;
    MarkerSearch m_codexMarker;
    // Per read:
    TranscriptKind m_kind = TranscriptKind::Claude;
    InternedString m_fallback;
    CodexContext m_context;
    std::uint32_t m_recent[8] = {};
    std::uint32_t m_recentCount = 0;
};

} // namespace tallyvue::detail
