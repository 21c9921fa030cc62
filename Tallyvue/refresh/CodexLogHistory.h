// SPDX-License-Identifier: MIT
#pragma once

#include "history/HistoryStore.h"
#include "local/LocalUsageEvent.h"
#include "providers/CodexService.h"

#include <QObject>

#include <functional>
#include <vector>

namespace tallyvue {

/// A Codex log's figures in the shape of the ChatGPT usage service's answer at the line's time,
/// so their windows get the names and ids they always have.
CodexUsage codexLogUsage(const CodexRateLimits& limits);

/// One history snapshot per entry of a timeline, holding the windows present in it.
QList<UsageSnapshot> codexLogSnapshots(const std::vector<CodexRateLimits>& timeline);

/**
 * Seeds the history with the ChatGPT figures of the Codex logs of the last 14 days, where it
 * holds none yet from before them: reads the logs on a pool thread, writes on `receiver`'s
 * thread, then calls `done` with how many snapshots were added (not when `receiver` is gone).
 */
void seedHistoryFromCodexLogs(const QString& sessionsRoot, QObject* receiver, std::function<void(qsizetype)> done);

} // namespace tallyvue
