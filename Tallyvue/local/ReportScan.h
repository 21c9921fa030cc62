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

} // namespace tallyvue
