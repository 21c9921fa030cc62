// SPDX-License-Identifier: MIT
#include "insights/Trends.h"

#include "insights/Presentation.h"
#include "model/ClaudeMetrics.h"
#include "model/Formatting.h"

#include <QSet>
#include <algorithm>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {

QString rawValue(TrendRange range)
{
    switch (range) {
    case TrendRange::Day: return u"24h"_s;
    case TrendRange::Week: return u"7d"_s;
    case TrendRange::All: return u"14d"_s;
    }
    return {};
}

qint64 spanSeconds(TrendRange range)
{
    switch (range) {
    case TrendRange::Day: return 86400;
    case TrendRange::Week: return 604800;
    case TrendRange::All: return 1209600;
    }
    return 0;
}

namespace Trends {

namespace {

/// Labels in order of first appearance, sorted stably by rank.
QStringList rankedLabels(QStringList labels)
{
    std::stable_sort(labels.begin(), labels.end(),
                     [](const QString& a, const QString& b) { return seriesRank(a) < seriesRank(b); });
    return labels;
}

QList<DailySeries> rankedSeries(QList<DailySeries> series)
{
    std::stable_sort(series.begin(), series.end(), [](const DailySeries& a, const DailySeries& b) {
        return seriesRank(a.label) < seriesRank(b.label);
    });
    return series;
}

bool counts(const UsageSnapshot::LimitPoint& point, std::optional<AIProvider> provider)
{
    return !provider || point.provider == *provider;
}

bool hasPoints(const UsageSnapshot& snapshot, std::optional<AIProvider> provider)
{
    return std::any_of(snapshot.limits.begin(), snapshot.limits.end(),
                       [provider](const auto& point) { return counts(point, provider); });
}

/// Truncated towards zero; NaN reads as 0.
int truncatedPercent(double percent)
{
    return std::isfinite(percent) ? static_cast<int>(std::clamp(percent, -1e9, 1e9)) : 0;
}

} // namespace

QString seriesLabel(const UsageSnapshot::LimitPoint& point)
{
    if (point.displayName)
        return *point.displayName;
    if (point.kind == u"session" || point.kind == u"five_hour")
        return u"5-Hour"_s;
    if (point.kind == u"weekly_all" || point.kind == u"seven_day")
        return u"7-Day"_s;
    return capitalizedWords(point.kind);
}

int seriesRank(QStringView label)
{
    if (label == u"5-Hour" || label == u"Primary")
        return 0;
    if (label == u"7-Day" || label == u"Weekly")
        return 1;
    return 2;
}

QStringList shownSeries(const QList<UsageSnapshot>& snapshots, std::optional<AIProvider> provider)
{
    QStringList labels;
    for (const UsageSnapshot& snapshot : snapshots) {
        for (const UsageSnapshot::LimitPoint& point : snapshot.limits) {
            if (!counts(point, provider))
                continue;
            QString label = seriesLabel(point);
            if (!labels.contains(label))
                labels.append(std::move(label));
        }
    }
    QStringList shown = rankedLabels(labels);
    if (shown.size() > kMaxSeries)
        shown.resize(kMaxSeries);
    return shown;
}

QList<ChartLine> chartLines(const QList<UsageSnapshot>& snapshots, const QStringList& shown, TrendRange range,
                            const QDateTime& now, std::optional<AIProvider> provider)
{
    QList<ChartLine> lines;
    for (const QString& label : shown)
        lines.append({label, {}, {}});
    const qint64 start = now.toSecsSinceEpoch() - spanSeconds(range);
    for (const UsageSnapshot& snapshot : snapshots) {
        const qint64 msecs = snapshot.timestamp.toMSecsSinceEpoch();
        if (msecs < start * 1000)
            continue;
        const double x = double(msecs) / 1000.0;
        for (const UsageSnapshot::LimitPoint& point : snapshot.limits) {
            if (!counts(point, provider))
                continue;
            const qsizetype index = shown.indexOf(seriesLabel(point));
            if (index < 0)
                continue;
            lines[index].x.push_back(x);
            lines[index].y.push_back(point.percent);
        }
    }
    return lines;
}

std::optional<ChartReadout> readout(const QList<UsageSnapshot>& snapshots, const QStringList& shown, TrendRange range,
                                    const QDateTime& now, const QDateTime& selected, std::optional<AIProvider> provider)
{
    const QDateTime start = now.addSecs(-spanSeconds(range));
    const UsageSnapshot* nearest = nullptr;
    qint64 best = 0;
    for (const UsageSnapshot& snapshot : snapshots) {
        if (snapshot.timestamp < start || !hasPoints(snapshot, provider))
            continue;
        const qint64 distance = std::abs(snapshot.timestamp.msecsTo(selected));
        if (!nearest || distance < best || (distance == best && snapshot.timestamp < nearest->timestamp)) {
            nearest = &snapshot;
            best = distance;
        }
    }
    if (!nearest)
        return std::nullopt;
    ChartReadout result{nearest->timestamp, {}};
    for (const UsageSnapshot::LimitPoint& point : nearest->limits) {
        if (!counts(point, provider))
            continue;
        const qsizetype index = shown.indexOf(seriesLabel(point));
        if (index >= 0)
            result.values.append({int(index), QString::number(truncatedPercent(point.percent)) + u'%'});
    }
    return result;
}

QString readoutDateText(const QDateTime& date, const QLocale& locale)
{
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), u"MMM d"_s) + u", "_s + locale.toString(local.time(), QLocale::ShortFormat);
}

DailyChartData dailyChart(const QList<UsageSnapshot>& history, AIProvider provider, int days, const QTimeZone& zone,
                          const QDateTime& now)
{
    DailyChartData data;
    QList<DailySeries> found;
    QStringList kinds; // of `found`, compared before any key text is built
    // Each snapshot goes to its day first, and each day is summed over its own snapshots only:
    // summing every day over the whole history costs days × snapshots.
    const QDate today = now.toTimeZone(zone).date();
    std::vector<qint64> bounds; // day starts, oldest first, then the end of today
    for (int k = std::max(days, 0); k >= 0; --k)
        bounds.push_back(today.addDays(1 - k).startOfDay(zone).toMSecsSinceEpoch());
    std::vector<QList<UsageSnapshot>> buckets(std::max<size_t>(bounds.size(), 1) - 1);
    for (const UsageSnapshot& snapshot : history) {
        bool any = false;
        for (const UsageSnapshot::LimitPoint& point : snapshot.limits) {
            if (point.provider != provider)
                continue;
            any = true;
            // Per-model weekly windows would crowd out the two main ones.
            if (provider == AIProvider::Claude && point.kind.startsWith(u"weekly_") && point.kind != u"weekly_all")
                continue;
            if (!kinds.contains(point.kind)) {
                kinds.append(point.kind);
                found.append({point.seriesKey(), seriesLabel(point)});
            }
        }
        if (!any || buckets.empty())
            continue;
        const qint64 msecs = snapshot.timestamp.toMSecsSinceEpoch();
        const auto after = std::upper_bound(bounds.begin(), bounds.end(), msecs);
        if (after != bounds.begin() && after != bounds.end())
            buckets[size_t(after - bounds.begin() - 1)].append(snapshot);
    }
    data.series = rankedSeries(found);
    if (data.series.size() > kMaxDailySeries)
        data.series.resize(kMaxDailySeries);

    for (int k = std::max(days, 0); k >= 1; --k) {
        const QDate day = today.addDays(1 - k);
        // One day's summary, by the same rules, from that day's snapshots.
        const QDateTime noon = QDateTime(day, QTime(12, 0), zone);
        data.summaries += Insights::dailySummaries(buckets[size_t(days - k)], provider, 1, zone, noon);
    }
    for (const DailySummary& summary : data.summaries) {
        if (summary.hitLimit)
            ++data.hitDays;
        for (int index = 0; index < data.series.size(); ++index) {
            const auto peak = summary.peaks.constFind(data.series[index].key);
            if (peak != summary.peaks.cend())
                data.bars.append({summary.date, index, *peak});
        }
    }
    return data;
}

QString hitLimitText(const DailyChartData& data)
{
    if (data.hitDays == 0)
        return {};
    return u"limit hit on %1 of %2 days"_s.arg(data.hitDays).arg(data.summaries.size());
}

SnapshotTableData snapshotTable(const QList<UsageSnapshot>& history, TrendRange range, const QDateTime& now,
                                std::optional<AIProvider> provider)
{
    SnapshotTableData table;
    const QDateTime start = now.addSecs(-spanSeconds(range));
    QList<DailySeries> found;
    QSet<QString> keys;
    for (auto it = history.crbegin(); it != history.crend(); ++it) {
        if (it->timestamp < start || !hasPoints(*it, provider))
            continue;
        table.rows.append(*it);
    }
    // Columns in order of first appearance in the history, then by rank.
    for (auto it = table.rows.crbegin(); it != table.rows.crend(); ++it) {
        for (const UsageSnapshot::LimitPoint& point : it->limits) {
            if (!counts(point, provider))
                continue;
            QString key = point.seriesKey();
            if (keys.contains(key))
                continue;
            keys.insert(key);
            found.append({std::move(key), seriesLabel(point)});
        }
    }
    table.columns = rankedSeries(found);
    return table;
}

QString snapshotCellText(const UsageSnapshot& row, const DailySeries& column, QuotaDisplayMode mode)
{
    const auto point = HistoryStore::point(row, column.key);
    return point ? percentText(point->percent, mode) : u"–"_s;
}

QString limitCountText(qsizetype count)
{
    if (count <= 0)
        return u"Not connected"_s;
    return QString::number(count) + (count == 1 ? u" limit"_s : u" limits"_s);
}

std::optional<ProviderMetric> highestMetric(const QList<ProviderMetric>& metrics)
{
    std::optional<ProviderMetric> best;
    for (const ProviderMetric& metric : metrics) {
        if (!best || metric.percent > best->percent)
            best = metric;
    }
    return best;
}

std::optional<QString> planText(AIProvider provider, const std::optional<QString>& plan)
{
    if (provider == AIProvider::Claude || !plan || plan->trimmed().isEmpty())
        return std::nullopt;
    QString text = *plan;
    if (provider == AIProvider::Copilot)
        text.replace(u'_', u' ');
    return capitalizedText(text) + u" plan"_s;
}

} // namespace Trends

} // namespace tallyvue
