// SPDX-License-Identifier: MIT
#pragma once

#include "history/HistoryStore.h"
#include "model/ProviderMetric.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QTimeZone>

#include <optional>

namespace tallyvue {

/// One recorded value of one window: when it was taken and the percent used then.
struct MetricSample
{
    QDateTime date;
    double percent = 0;
    friend bool operator==(const MetricSample&, const MetricSample&) = default;
};

/// Where a window will stand when it resets, at the current pace.
struct Projection
{
    enum class Kind { HitsLimit, EndsAt, Stable, InsufficientData };

    Kind kind = Kind::InsufficientData;
    QDateTime at;       ///< HitsLimit: when 100 % is reached (may be in the past)
    double percent = 0; ///< EndsAt: the projected percent at the reset

    static Projection hitsLimit(const QDateTime& at) { return {Kind::HitsLimit, at, 0}; }
    static Projection endsAt(double percent) { return {Kind::EndsAt, {}, percent}; }
    static Projection stable() { return {Kind::Stable, {}, 0}; }
    static Projection insufficientData() { return {}; }

    /// Case and payload; a payload that does not belong to the case is ignored.
    friend bool operator==(const Projection& a, const Projection& b);
};

struct MetricInsight
{
    std::optional<double> burnRatePerHour; ///< percentage points per hour
    std::optional<double> deltaLastHour;   ///< percentage points
    Projection projection;
};

/// The peaks of one provider's windows on one calendar day.
struct DailySummary
{
    QDateTime date; ///< the start of the day
    QHash<QString, double> peaks;
    bool hitLimit = false;
    int samples = 0;
};

namespace Insights {

/// A fall of more than this between neighbouring samples marks a window reset.
inline constexpr double kDropPoints = 5.0;
inline constexpr qint64 kMinimumSpanSeconds = 1200;
inline constexpr double kStableRatePerHour = 0.1;
inline constexpr double kHitLimitPercent = 99.5;

/// Every sample of one metric id, oldest first.
QList<MetricSample> series(QStringView id, const QList<UsageSnapshot>& history);
/// The samples of the metric's current window: after its start and after the latest reset drop.
QList<MetricSample> windowSamples(const ProviderMetric& metric, const QList<UsageSnapshot>& history);
/// Least-squares slope in points per hour; none below 3 samples or 20 minutes of span.
std::optional<double> burnRate(const QList<MetricSample>& samples);
/// Change since the sample nearest to an hour ago (within 20 minutes of it); none after a reset.
std::optional<double> deltaLastHour(const ProviderMetric& metric, const QList<UsageSnapshot>& history,
                                    const QDateTime& now);
MetricInsight insight(const ProviderMetric& metric, const QList<UsageSnapshot>& history, const QDateTime& now);
/// `days` summaries ending with today, oldest first; days are calendar days in `zone`.
QList<DailySummary> dailySummaries(const QList<UsageSnapshot>& history, AIProvider provider, int days,
                                   const QTimeZone& zone, const QDateTime& now);

} // namespace Insights

} // namespace tallyvue
