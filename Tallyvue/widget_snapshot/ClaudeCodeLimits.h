// SPDX-License-Identifier: MIT
#pragma once

#include "model/ClaudeUsage.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tallyvue {

/// $XDG_DATA_HOME/K2V8R4NW7T.com.tallyvue.shared/claudeCodeLimits.json, beside the widget
/// snapshot: the last quota windows Claude Code handed to `tallyvue-cli statusline`.
std::optional<QString> claudeCodeLimitsPath();

/**
 * Stores the windows of Claude Code's `rate_limits` (each member holding a numeric
 * "used_percentage") with `now`, replacing the file atomically under the snapshot's lock rules.
 * Skipped when the file was written less than a second ago, or when another writer holds the
 * lock: Claude Code runs the status line every few hundred milliseconds, and the next run stores
 * the same figures. Nothing when stored or skipped, else what failed.
 */
std::optional<QString> storeClaudeCodeLimits(const QJsonObject& rateLimits, const QDateTime& now);

/// The stored windows as the Claude usage service would have answered, and their time.
struct ClaudeCodeFigures
{
    QDateTime asOf;
    UsageResponse usage; ///< the five-hour and seven-day windows
};

/// The stored figures; nothing when the file is missing, unreadable or holds neither window.
std::optional<ClaudeCodeFigures> readClaudeCodeLimits();

} // namespace tallyvue
