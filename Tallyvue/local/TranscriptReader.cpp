// SPDX-License-Identifier: MIT
#include "local/TranscriptReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>

#include <unistd.h>

namespace tallyvue::detail {
namespace {

/// pread that retries interruptions; -1 on error.
ssize_t readAt(int fd, char* into, std::size_t size, std::int64_t at)
{
    for (;;) {
        const ssize_t n = ::pread(fd, into, size, off_t(at));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

std::size_t indexOf(const void* found, const char* base)
{
    return std::size_t(static_cast<const char*>(found) - base);
}

} // namespace

TranscriptReader::TranscriptReader(std::size_t chunkBytes, std::size_t maxLineBytes)
    // A line that fits a chunk is never over the limit.
    : m_chunk(std::max<std::size_t>(std::min(chunkBytes, maxLineBytes), 64)), m_maxLine(maxLineBytes),
      m_buffer(std::make_unique<char[]>(m_chunk + kLinePadding)),
      m_claudeMarker(transcriptMarker(TranscriptKind::Claude)), m_codexMarker(transcriptMarker(TranscriptKind::Codex))
{
}

ReadResult TranscriptReader::read(int fd, TranscriptKind kind, const ReadRange& range, InternedString fallbackProject)
{
    ReadResult out;
    out.consumed = range.begin;
    out.skipping = range.skipping;
    m_kind = kind;
    m_fallback = fallbackProject;
    m_context = {};
    m_recentCount = 0;

    const MarkerSearch& marker = kind == TranscriptKind::Claude ? m_claudeMarker : m_codexMarker;
    const std::size_t keepForMarker = marker.size() - 1;
    char* const buf = m_buffer.get();

    // Lines: buf[lineStart, filled) starts at a line start. Long: the current line did not fit
    // the buffer; only its last few bytes are kept (a marker may straddle two reads).
    // Discard: inside an overlong line, dropping bytes up to its line feed.
    enum class Mode { Lines, Long, Discard };
    Mode mode = range.skipping ? Mode::Discard : Mode::Lines;
    std::int64_t filePos = range.begin; // next byte to read
    std::int64_t base = range.begin;    // file position of buf[0]
    std::size_t filled = 0;
    std::size_t lineStart = 0;
    std::size_t searchFrom = 0; // bytes before this were searched for the marker already
    bool candidate = false;     // the line at lineStart has the marker; its line feed is missing
    std::size_t lfFrom = 0;     // where to go on looking for that line feed
    std::int64_t longStart = 0;
    bool longHasMarker = false;
    std::size_t overlap = 0;

    while (filePos < range.end) {
        const auto want = std::size_t(std::min<std::int64_t>(std::int64_t(m_chunk - filled), range.end - filePos));
        const ssize_t n = readAt(fd, buf + filled, want, filePos);
        if (n < 0) {
            out.failed = true;
            return out;
        }
        if (n == 0)
            break; // the file shrank meanwhile; the next scan sees its new size
        filled += std::size_t(n);
        filePos += n;
        out.bytesRead += std::uint64_t(n);

        if (mode == Mode::Discard) {
            const void* lf = std::memchr(buf, '\n', filled);
            if (!lf) {
                filled = 0;
                base = filePos;
                out.consumed = filePos;
                out.skipping = true;
                continue;
            }
            lineStart = searchFrom = indexOf(lf, buf) + 1;
            out.consumed = base + std::int64_t(lineStart);
            out.skipping = false;
            mode = Mode::Lines;
        } else if (mode == Mode::Long) {
            const void* lf = std::memchr(buf + overlap, '\n', filled - overlap);
            const std::size_t scanEnd = lf ? indexOf(lf, buf) : filled;
            if (!longHasMarker && marker.find(std::string_view(buf, scanEnd)) != MarkerSearch::npos)
                longHasMarker = true;
            if (!lf) {
                if (filePos - longStart > std::int64_t(m_maxLine)) {
                    out.skippedLongLine = true;
                    mode = Mode::Discard;
                    filled = 0;
                    base = filePos;
                    out.consumed = filePos;
                    out.skipping = true;
                    continue;
                }
                const std::size_t keep = std::min(keepForMarker, filled);
                std::memmove(buf, buf + filled - keep, keep);
                base = filePos - std::int64_t(keep);
                filled = overlap = keep;
                continue;
            }
            const std::int64_t lineEnd = base + std::int64_t(scanEnd);
            const std::int64_t length = lineEnd - longStart;
            if (length > std::int64_t(m_maxLine)) {
                out.skippedLongLine = true;
            } else if (longHasMarker) {
                readLongLine(fd, longStart, length, out);
                if (out.failed)
                    return out;
            }
            lineStart = searchFrom = scanEnd + 1;
            out.consumed = lineEnd + 1;
            mode = Mode::Lines;
        }

        for (;;) {
            if (candidate) {
                const void* lf = std::memchr(buf + lfFrom, '\n', filled - lfFrom);
                if (!lf) {
                    lfFrom = filled;
                    break;
                }
                const std::size_t at = indexOf(lf, buf);
                handleLine(std::string_view(buf + lineStart, at - lineStart), out);
                lineStart = searchFrom = at + 1;
                out.consumed = base + std::int64_t(lineStart);
                candidate = false;
                continue;
            }
            const std::size_t hit = marker.find(std::string_view(buf + searchFrom, filled - searchFrom));
            if (hit == MarkerSearch::npos) {
                // Every complete line here lacks the marker: done with them without looking.
                if (const void* lf = memrchr(buf + searchFrom, '\n', filled - searchFrom)) {
                    lineStart = indexOf(lf, buf) + 1;
                    out.consumed = base + std::int64_t(lineStart);
                }
                searchFrom = std::max(lineStart, filled > keepForMarker ? filled - keepForMarker : 0);
                break;
            }
            const std::size_t at = searchFrom + hit;
            if (const void* lf = memrchr(buf + lineStart, '\n', at - lineStart)) {
                lineStart = indexOf(lf, buf) + 1;
                out.consumed = base + std::int64_t(lineStart);
            }
            candidate = true;
            searchFrom = lineStart;
            lfFrom = at + marker.size();
        }

        if (lineStart > 0) {
            std::memmove(buf, buf + lineStart, filled - lineStart);
            filled -= lineStart;
            base += std::int64_t(lineStart);
            searchFrom -= lineStart;
            lfFrom = lfFrom > lineStart ? lfFrom - lineStart : 0;
            lineStart = 0;
        }
        if (filled == m_chunk) {
            // One line fills the whole buffer: follow it without holding it.
            mode = Mode::Long;
            longStart = base;
            longHasMarker = candidate;
            candidate = false;
            const std::size_t keep = std::min(keepForMarker, filled);
            std::memmove(buf, buf + filled - keep, keep);
            base = filePos - std::int64_t(keep);
            filled = overlap = keep;
            lineStart = searchFrom = 0;
        }
    }

    if (mode == Mode::Long && filePos - longStart > std::int64_t(m_maxLine)) {
        // Still unfinished but already too long: never read it again.
        out.skippedLongLine = true;
        out.consumed = filePos;
        out.skipping = true;
    }
    out.context = m_context;
    return out;
}

void TranscriptReader::readLongLine(int fd, std::int64_t start, std::int64_t length, ReadResult& out)
{
    const auto size = std::size_t(length);
    const auto line = std::make_unique<char[]>(size + kLinePadding);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = readAt(fd, line.get() + got, size - got, start + std::int64_t(got));
        if (n <= 0) {
            out.failed = true;
            return;
        }
        got += std::size_t(n);
    }
    handleLine(std::string_view(line.get(), size), out);
}

void TranscriptReader::handleLine(std::string_view line, ReadResult& out)
{
    auto parsed = m_parser.parse(m_kind, line, m_fallback, m_context);
    if (!parsed)
        return;
    if (parsed->repeatsIfTotalKnown) {
        out.openingEvent = out.events.size();
        out.openingTotal = *m_context.lastTotal;
    }
    ReadEvent e;
    e.event = parsed->event;
    e.inheritsProject = parsed->inheritsProject;
    e.inheritsModel = parsed->inheritsModel;
    if (parsed->hasId && out.idBytes.size() + parsed->id.size() < std::numeric_limits<std::uint32_t>::max()) {
        const std::uint64_t hash = std::hash<std::string_view>{}(parsed->id);
        // Streaming rows of one message follow each other closely: look among the last few.
        const std::uint32_t recent = std::min<std::uint32_t>(m_recentCount, std::size(m_recent));
        for (std::uint32_t i = 0; i < recent; ++i) {
            ReadEvent& prev = out.events[m_recent[i]];
            if (prev.idHash == hash && out.id(prev) == parsed->id) {
                if (e.event.outputTokens >= prev.event.outputTokens) {
                    prev.event = e.event;
                    prev.inheritsProject = e.inheritsProject;
                    prev.inheritsModel = e.inheritsModel;
                }
                return;
            }
        }
        e.hasId = true;
        e.idHash = hash;
        e.idOffset = std::uint32_t(out.idBytes.size());
        e.idLength = std::uint32_t(parsed->id.size());
        out.idBytes.append(parsed->id);
        m_recent[m_recentCount++ % std::size(m_recent)] = std::uint32_t(out.events.size());
    }
    out.events.push_back(e);
}

} // namespace tallyvue::detail
