// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageEvent.h"

#include <QString>

#include <vector>

namespace tallyvue {

/// How far back the Codex logs are read for the history: as far as the history keeps.
inline constexpr EpochMs kCodexTimelineMs = 14LL * 24 * 3600 * 1000;

/**
 * The quota figures of the Codex logs under `sessionsRoot` (`rollout-*.jsonl`, modified in the
 * 14 days before `now`), oldest first: one entry per line whose figures differ from the last ones
 * kept for that window, in which only the windows that changed are present. Lines older than 14
 * days or later than `now` are left out. Reads the files; call it off the GUI thread.
 */
std::vector<CodexRateLimits> codexLimitsTimeline(const QString& sessionsRoot, EpochMs now);

} // namespace tallyvue
