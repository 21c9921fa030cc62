// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageEvent.h"
#include "model/AIProvider.h"
#include "model/Timestamp.h"

#include <QDateTime>
#include <QString>

#include <qcoro/qcorotask.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class QThreadPool;

namespace tallyvue {

/// One tree of transcripts: Claude Code's projects folder or Codex's sessions folder.
struct LocalUsageSource
{
    AIProvider provider = AIProvider::Claude;
    QString root;
};

/// Figures of the last scan.
struct LocalUsageScanSummary
{
    std::size_t files = 0;      ///< transcripts known after the scan
    std::size_t events = 0;     ///< events returned (inside the window)
    std::size_t heldEvents = 0; ///< events kept in memory, aged-out ones included
    std::uint64_t bytesRead = 0;
    std::int64_t elapsedMs = 0;
    /// The newest quota figures in the Codex logs, remembered per file as they are read.
    std::optional<CodexRateLimits> newestCodexLimits;
};

/**
 * Reads the local Claude Code and Codex transcripts incrementally: each scan reads only the
 * bytes appended since the previous one and returns every request of the last 8 days.
 * State lives in memory for the life of the process. Scans run one at a time on the
 * scanner's own thread.
 */
class LocalUsageScanner
{
public:
    static constexpr EpochMs kWindowMs = 691'200'000; // 8 days

    static LocalUsageScanner& shared();

    /// Claude Code: `$CLAUDE_CONFIG_DIR/projects`, else `~/.config/claude/projects` and
    /// `~/.claude/projects`. Codex: `$CODEX_HOME/sessions`, else `~/.codex/sessions`.
    static std::vector<LocalUsageSource> defaultSources();

    explicit LocalUsageScanner(std::vector<LocalUsageSource> sources = defaultSources());
    ~LocalUsageScanner();
    LocalUsageScanner(const LocalUsageScanner&) = delete;
    LocalUsageScanner& operator=(const LocalUsageScanner&) = delete;

    /// Events of the 8 days before `now`, oldest first. Never fails. Runs on the scanner's
    /// thread; the caller resumes on its own thread.
    QCoro::Task<std::vector<LocalUsageEvent>> scan(QDateTime now);

    /// The same scan on the calling thread (waits for a running one first).
    std::vector<LocalUsageEvent> scanBlocking(EpochMs now);

    LocalUsageScanSummary lastSummary() const;

    /// How the scanner reads; tests use small figures to reach every path with small files.
    struct Tuning
    {
        int threads = 0;                      ///< 0: the processor count
        std::size_t chunkBytes = 512u << 10;  ///< one read
        std::size_t maxLineBytes = 64u << 20; ///< longer lines are skipped
        std::int64_t parallelBytes = 4 << 20; ///< fewer new bytes are read by one thread
        std::int64_t pieceBytes = 32 << 20;   ///< larger new regions are cut into pieces
    };
    void setTuning(const Tuning& tuning);

private:
    struct State;
    std::unique_ptr<State> m_state;
    std::mutex m_scanMutex;
    mutable std::mutex m_summaryMutex;
    LocalUsageScanSummary m_summary;
    std::unique_ptr<QThreadPool> m_pool;
};

} // namespace tallyvue
