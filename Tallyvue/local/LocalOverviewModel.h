// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageAggregation.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace tallyvue {

/// The span the local overview looks back over; raw values are the picker's labels.
enum class LocalRange { Day, Week };

QString rawValue(LocalRange range);
/// 86,400 or 604,800 seconds.
qint64 spanSeconds(LocalRange range);
/// Bars in the daily chart: 2 or 7.
int chartDays(LocalRange range);

/// One summary tile: title, value, an optional detail line and an optional note for the
/// tooltip and screen readers.
struct LocalSummaryTile
{
    QString title;
    QString value;
    QString detail;
    QString note;

    friend bool operator==(const LocalSummaryTile&, const LocalSummaryTile&) = default;
};

/**
 * What the local overview draws for one provider (or all) and range, computed once per scan
 * result, range and clock minute; drawing only reads it.
 */
struct LocalOverviewData
{
    /// Some event at or after the range start.
    bool hasEvents = false;
    LocalUsageTotals totals;
    /// What the requests in range would have cost at API list prices.
    LocalUsageCost cost;
    int projects = 0;
    int models = 0;
    /// Providers with events in range, in provider order.
    QList<AIProvider> providers;
    /// Daily stacks of the providers present only.
    std::vector<LocalUsageStack> daily;
    std::vector<LocalUsageStack> projectStacks;
    std::vector<LocalUsageStack> modelStacks;

    static LocalOverviewData build(std::span<const LocalUsageEvent> allEvents, std::optional<AIProvider> provider,
                                   LocalRange range, const QDateTime& now, int limit,
                                   const PriceTable& prices = PriceTable::shared());

    /// "Tokens", "Requests", "Projects", "Models", "API value", in that order.
    std::vector<LocalSummaryTile> tiles() const;
};

/**
 * The transcript folders the scanner reads for a provider, as the user would type them ("~/"
 * for the home folder): `$CLAUDE_CONFIG_DIR/projects` when set, else whichever of
 * ~/.config/claude/projects and ~/.claude/projects exist (~/.claude/projects when neither);
 * `$CODEX_HOME/sessions` or ~/.codex/sessions. Several folders are joined with " and ".
 */
QString transcriptFolderText(AIProvider provider);

} // namespace tallyvue
