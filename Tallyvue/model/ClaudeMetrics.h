// SPDX-License-Identifier: MIT
#pragma once

#include "model/ProviderMetric.h"
#include "model/ClaudeUsage.h"

#include <QList>

namespace tallyvue {

/// The Claude record as metrics: the generic limit list when it has entries, else the
/// five-hour and seven-day windows.
QList<ProviderMetric> claudeMetrics(const UsageResponse& usage);

/// "weekly_opus" -> "Weekly Opus": split at underscores, capitalise each piece.
QString capitalizedWords(QStringView snakeCase);

} // namespace tallyvue
