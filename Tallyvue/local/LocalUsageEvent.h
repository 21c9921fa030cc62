// SPDX-License-Identifier: MIT
#pragma once

#include "local/InternedString.h"
#include "local/Saturating.h"
#include "model/AIProvider.h"
#include "model/Timestamp.h"

#include <QHashFunctions>

#include <cstdint>

namespace tallyvue {

/// One window of the quota figures Codex writes beside its token counts.
struct CodexLimitWindow
{
    bool present = false;
    double usedPercent = 0;
    std::int64_t windowMinutes = 0; ///< 0: not given
    std::int64_t resetsAt = 0;      ///< Unix seconds; 0: not given
    friend bool operator==(const CodexLimitWindow&, const CodexLimitWindow&) = default;
};

/// The "rate_limits" of a Codex token_count line, as of the line's time.
struct CodexRateLimits
{
    EpochMs timestamp = 0;
    CodexLimitWindow primary;
    CodexLimitWindow secondary;
    friend bool operator==(const CodexRateLimits&, const CodexRateLimits&) = default;
};

/// One request's token usage, read from a local Claude Code or Codex transcript.
struct LocalUsageEvent
{
    AIProvider provider = AIProvider::Claude;
    EpochMs timestamp = 0;
    /// As written in the transcript, or "unknown".
    InternedString model;
    /// Last path component of the working directory (or the transcript's folder, or "Codex").
    InternedString project;
    std::int64_t inputTokens = 0;
    std::int64_t outputTokens = 0;
    std::int64_t cacheCreationTokens = 0;
    std::int64_t cacheReadTokens = 0;
    /// Claude itemises cache writes by how long they are kept, priced apart; both 0 when a
    /// transcript does not (and for Codex). 32 bits keep an event at 64 bytes; a count
    /// beyond them stops at the limit.
    std::int32_t cacheCreation5mTokens = 0;
    std::int32_t cacheCreation1hTokens = 0;

    std::int64_t totalTokens() const
    {
        return saturatingAdd(saturatingAdd(inputTokens, outputTokens),
                             saturatingAdd(cacheCreationTokens, cacheReadTokens));
    }

    friend bool operator==(const LocalUsageEvent&, const LocalUsageEvent&) = default;
};

inline std::size_t qHash(const LocalUsageEvent& e, std::size_t seed = 0) noexcept
{
    return qHashMulti(seed, int(e.provider), e.timestamp, e.model, e.project, e.inputTokens, e.outputTokens,
                      e.cacheCreationTokens, e.cacheReadTokens, e.cacheCreation5mTokens, e.cacheCreation1hTokens);
}

} // namespace tallyvue
