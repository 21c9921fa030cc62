// SPDX-License-Identifier: MIT
#pragma once

#include "history/HistoryStore.h"
#include "insights/Insights.h"
#include "model/ProviderMetric.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <array>
#include <optional>
#include <vector>

namespace tallyvue {

/// The span of the history line chart; the raw values are the picker labels.
enum class TrendRange { Day, Week, All };
inline constexpr std::array<TrendRange, 3> kAllTrendRanges{TrendRange::Day, TrendRange::Week, TrendRange::All};
QString rawValue(TrendRange range);
qint64 spanSeconds(TrendRange range);

/// One drawn line: its label and points (x = seconds since 1970, y = percent), oldest first.
struct ChartLine
{
    QString label;
    std::vector<double> x;
    std::vector<double> y;
};

/// What the line chart shows under itself for the snapshot nearest to the pointer.
struct ChartReadout
{
    struct Value
    {
        int seriesIndex = 0; ///< index into the shown series, which picks the colour
        QString text;        ///< "42%"
        friend bool operator==(const Value&, const Value&) = default;
    };
    QDateTime date;
    QList<Value> values;
};

/// One series of the daily chart: keyed by series key, labelled for the legend.
struct DailySeries
{
    QString key;
    QString label;
    friend bool operator==(const DailySeries&, const DailySeries&) = default;
};

struct DailyBar
{
    QDateTime day;
    int seriesIndex = 0;
    double peak = 0;
};

/// Everything the daily peak chart draws.
struct DailyChartData
{
    QList<DailySummary> summaries;
    QList<DailySeries> series; ///< at most two
    QList<DailyBar> bars;
    int hitDays = 0;
};

/// The snapshot table's content: columns by series order, rows newest first.
struct SnapshotTableData
{
    QList<DailySeries> columns;
    QList<UsageSnapshot> rows;
};

namespace Trends {

/// How many series the line chart draws (one per palette colour).
inline constexpr int kMaxSeries = 4;
inline constexpr int kMaxDailySeries = 2;

/// The name of a point's window in legends: its recorded title, else the title rule for its kind.
QString seriesLabel(const UsageSnapshot::LimitPoint& point);
/// 0 for "5-Hour" and "Primary", 1 for "7-Day" and "Weekly", 2 for everything else.
int seriesRank(QStringView label);

// The chart functions below take `provider` to read the full history as the provider's history
// (its points only, snapshots without any left out) without copying it.

/// Labels of all given snapshots (not only those in range) by series order, at most four.
QStringList shownSeries(const QList<UsageSnapshot>& snapshots, std::optional<AIProvider> provider = std::nullopt);
/// One line per shown series with the points of the snapshots in range; lines may be empty.
QList<ChartLine> chartLines(const QList<UsageSnapshot>& snapshots, const QStringList& shown, TrendRange range,
                            const QDateTime& now, std::optional<AIProvider> provider = std::nullopt);
/// The snapshot in range nearest to `selected` (the earlier on a tie) with its shown values.
std::optional<ChartReadout> readout(const QList<UsageSnapshot>& snapshots, const QStringList& shown, TrendRange range,
                                    const QDateTime& now, const QDateTime& selected,
                                    std::optional<AIProvider> provider = std::nullopt);
/// "Jan 5, 11:40 AM" in the locale's time form.
QString readoutDateText(const QDateTime& date, const QLocale& locale = QLocale());

/// The daily peaks of a provider's two main windows (per-model weekly windows left out).
DailyChartData dailyChart(const QList<UsageSnapshot>& history, AIProvider provider, int days, const QTimeZone& zone,
                          const QDateTime& now);
/// "limit hit on 2 of 7 days"; empty when no day hit a limit.
QString hitLimitText(const DailyChartData& data);

/// The snapshots of `history` in range, newest first, with one column per series among them.
SnapshotTableData snapshotTable(const QList<UsageSnapshot>& history, TrendRange range, const QDateTime& now,
                                std::optional<AIProvider> provider = std::nullopt);
/// A cell: the shown percent truncated with "%", or "–" when the snapshot has no such point.
QString snapshotCellText(const UsageSnapshot& row, const DailySeries& column, QuotaDisplayMode mode);

/// "1 limit", "3 limits", or "Not connected" without metrics.
QString limitCountText(qsizetype count);
/// The metric with the highest used percent, the first among equals.
std::optional<ProviderMetric> highestMetric(const QList<ProviderMetric>& metrics);
/// "Plus plan", "Individual Pro plan"; nothing for Claude or without a plan.
std::optional<QString> planText(AIProvider provider, const std::optional<QString>& plan);

} // namespace Trends

} // namespace tallyvue
