// SPDX-License-Identifier: MIT
#include "insights/Insights.h"

#include <algorithm>
#include <cmath>

namespace tallyvue {

bool operator==(const Projection& a, const Projection& b)
{
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case Projection::Kind::HitsLimit: return a.at == b.at;
    case Projection::Kind::EndsAt: return a.percent == b.percent;
    case Projection::Kind::Stable:
    case Projection::Kind::InsufficientData: return true;
    }
    return true;
}

namespace Insights {

namespace {

double secondsBetween(const QDateTime& from, const QDateTime& to)
{
    return double(from.msecsTo(to)) / 1000.0;
}

/// `base` moved by a number of seconds that may be absurdly large for odd inputs.
QDateTime addSeconds(const QDateTime& base, double seconds)
{
    constexpr double kLimitMs = 1e15; // about 31,000 years either way
    const double ms = std::clamp(seconds * 1000.0, -kLimitMs, kLimitMs);
    return base.addMSecs(static_cast<qint64>(std::llround(ms)));
}

} // namespace

QList<MetricSample> series(QStringView id, const QList<UsageSnapshot>& history)
{
    QList<MetricSample> samples;
    for (const UsageSnapshot& snapshot : history) {
        if (const auto point = HistoryStore::point(snapshot, id))
            samples.append({snapshot.timestamp, point->percent});
    }
    std::stable_sort(samples.begin(), samples.end(),
                     [](const MetricSample& a, const MetricSample& b) { return a.date < b.date; });
    return samples;
}

QList<MetricSample> windowSamples(const ProviderMetric& metric, const QList<UsageSnapshot>& history)
{
    QList<MetricSample> samples = series(metric.id(), history);
    if (metric.resetsAt && metric.windowLength) {
        const QDateTime start = addSeconds(*metric.resetsAt, -*metric.windowLength);
        samples.removeIf([&start](const MetricSample& sample) { return sample.date < start; });
    }
    if (samples.size() < 2)
        return samples;
    for (qsizetype i = samples.size() - 1; i >= 1; --i) {
        if (samples[i - 1].percent - samples[i].percent > kDropPoints)
            return samples.mid(i);
    }
    return samples;
}

std::optional<double> burnRate(const QList<MetricSample>& samples)
{
    const qsizetype n = samples.size();
    if (n < 3)
        return std::nullopt;
    const QDateTime& first = samples.first().date;
    if (secondsBetween(first, samples.last().date) < double(kMinimumSpanSeconds))
        return std::nullopt;
    double meanX = 0;
    double meanY = 0;
    for (const MetricSample& sample : samples) {
        meanX += secondsBetween(first, sample.date) / 3600.0;
        meanY += sample.percent;
    }
    meanX /= double(n);
    meanY /= double(n);
    double numerator = 0;
    double denominator = 0;
    for (const MetricSample& sample : samples) {
        const double dx = secondsBetween(first, sample.date) / 3600.0 - meanX;
        numerator += dx * (sample.percent - meanY);
        denominator += dx * dx;
    }
    if (!(denominator > 0))
        return std::nullopt;
    return numerator / denominator;
}

std::optional<double> deltaLastHour(const ProviderMetric& metric, const QList<UsageSnapshot>& history,
                                    const QDateTime& now)
{
    const QList<MetricSample> samples = series(metric.id(), history);
    if (samples.isEmpty())
        return std::nullopt;
    const QDateTime target = now.addSecs(-3600);
    const MetricSample* nearest = nullptr;
    double nearestDistance = 0;
    for (const MetricSample& sample : samples) {
        const double distance = std::abs(secondsBetween(target, sample.date));
        if (!nearest || distance < nearestDistance) {
            nearest = &sample;
            nearestDistance = distance;
        }
    }
    if (nearestDistance > double(kMinimumSpanSeconds))
        return std::nullopt;
    const double delta = metric.percent - nearest->percent;
    if (delta < -kDropPoints)
        return std::nullopt; // the window reset in between: a fall says nothing about the pace
    return delta;
}

MetricInsight insight(const ProviderMetric& metric, const QList<UsageSnapshot>& history, const QDateTime& now)
{
    MetricInsight result;
    result.burnRatePerHour = burnRate(windowSamples(metric, history));
    result.deltaLastHour = deltaLastHour(metric, history, now);
    const auto& rate = result.burnRatePerHour;
    if (!rate || !metric.resetsAt) {
        result.projection = Projection::insufficientData();
    } else if (!(*rate > kStableRatePerHour)) {
        result.projection = Projection::stable();
    } else {
        const double hours = std::max(0.0, secondsBetween(now, *metric.resetsAt) / 3600.0);
        const double projected = metric.percent + hours * *rate;
        if (projected >= 100)
            result.projection = Projection::hitsLimit(addSeconds(now, (100 - metric.percent) / *rate * 3600));
        else
            result.projection = Projection::endsAt(projected);
    }
    return result;
}

QList<DailySummary> dailySummaries(const QList<UsageSnapshot>& history, AIProvider provider, int days,
                                   const QTimeZone& zone, const QDateTime& now)
{
    QList<DailySummary> summaries;
    const QDate today = now.toTimeZone(zone).date();
    for (int k = days; k >= 1; --k) {
        const QDate day = today.addDays(1 - k);
        const QDateTime start = day.startOfDay(zone);
        const QDateTime end = day.addDays(1).startOfDay(zone);
        if (!start.isValid() || !end.isValid())
            continue;
        DailySummary summary;
        summary.date = start;
        // Compared in UTC: a comparison with a time-zone date recomputes its offset every time.
        const QDateTime utcStart = start.toUTC();
        const QDateTime utcEnd = end.toUTC();
        for (const UsageSnapshot& snapshot : history) {
            if (snapshot.timestamp < utcStart || snapshot.timestamp >= utcEnd)
                continue;
            const QList<UsageSnapshot::LimitPoint> points = HistoryStore::limitPoints(snapshot, provider);
            if (points.isEmpty())
                continue;
            ++summary.samples;
            for (const UsageSnapshot::LimitPoint& point : points) {
                const QString key = point.seriesKey();
                summary.peaks[key] = std::max(summary.peaks.value(key, 0.0), point.percent);
                if (point.percent >= kHitLimitPercent)
                    summary.hitLimit = true;
            }
        }
        summaries.append(std::move(summary));
    }
    return summaries;
}

} // namespace Insights

} // namespace tallyvue
