// SPDX-License-Identifier: MIT
#pragma once

#include "model/AIProvider.h"
#include "model/Timestamp.h"

#include <QDateTime>
#include <QString>

#include <qcoro/qcorotask.h>

#include <cstdint>
#include <vector>

namespace tallyvue {

/// One request's token usage, read from a local Claude Code or Codex transcript.
struct LocalUsageEvent
{
    AIProvider provider = AIProvider::Claude;
    EpochMs timestamp = 0;
    QString model;
    QString project;
    std::int64_t inputTokens = 0;
    std::int64_t outputTokens = 0;
    std::int64_t cacheCreationTokens = 0;
    std::int64_t cacheReadTokens = 0;

    friend bool operator==(const LocalUsageEvent&, const LocalUsageEvent&) = default;
};

/// Reads the local transcripts incrementally; one shared instance per process.
class LocalUsageScanner
{
public:
    static LocalUsageScanner& shared();

    /// Events of the 8 days before `now`, oldest first. Never fails.
    QCoro::Task<std::vector<LocalUsageEvent>> scan(QDateTime now);
};

} // namespace tallyvue
