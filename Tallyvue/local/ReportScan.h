// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageEvent.h"
#include "local/LocalUsageScanner.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace tallyvue {

/// One request and the transcript it was first found in.
struct ReportEvent
{
    LocalUsageEvent event;
    /// Index into ReportEvents::sessions.
    std::uint32_t session = 0;
};

/// One transcript file: a Claude Code session, or a Codex rollout.
struct ReportSession
{
    QString id; ///< the file name without ".jsonl"
    QString path;
    AIProvider provider = AIProvider::Claude;
};

struct ReportEvents
{
    /// In no particular order. A deque: millions of events grow without ever being copied.
    std::deque<ReportEvent> events;
    std::vector<ReportSession> sessions;
    std::size_t files = 0; ///< transcripts found, read or not
    std::uint64_t bytesRead = 0;
};

/**
 * Reads every transcript under the roots once, for a report over any range: the same line
 * rules, de-duplication across files (one event per request id, the row with the most output,
 * the later file on a tie; the event stays with the file that had the id first), Codex repeat
 * rule and saturating sums as LocalUsageScanner, but nothing is kept for a later scan. With
 * `modifiedSince`, files last modified before it are not opened. `threads` 0: the processor
 * count, or one for a few megabytes. The app's incremental scanner is not involved.
 */
ReportEvents scanForReport(const std::vector<LocalUsageSource>& sources,
                           std::optional<EpochMs> modifiedSince = std::nullopt, int threads = 0);

/// Takes each request as a scan counts it, and gives one back when a later file's row of the
/// same request replaces it (with the same rules as scanForReport).
class ReportSink
{
public:
    virtual ~ReportSink() = default;
    virtual void add(const LocalUsageEvent& event) = 0;
    virtual void remove(const LocalUsageEvent& event) = 0;
};

struct ReportScanSummary
{
    std::size_t files = 0;    ///< transcripts found, read or not
    std::size_t requests = 0; ///< counted, after de-duplication
    std::uint64_t bytesRead = 0;
};

/**
 * scanForReport for reports that only sum: the requests go to `sink` as they are read and
 * are not kept. Per request id, 8 bytes remain: part of its hash and the file that holds its
 * counted row. A request met again in a later file reads that file once more to take its
 * earlier row back, which only copied and resumed transcripts do.
 */
ReportScanSummary scanIntoSink(const std::vector<LocalUsageSource>& sources, std::optional<EpochMs> modifiedSince,
                               ReportSink& sink, int threads = 0);

} // namespace tallyvue
