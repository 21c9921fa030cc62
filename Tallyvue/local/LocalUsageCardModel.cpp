// SPDX-License-Identifier: MIT
#include "local/LocalUsageCardModel.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

constexpr qint64 kFiveHoursSeconds = 18'000;
constexpr qint64 kSevenDaysSeconds = 604'800;

/// Where the quota window of one of `kinds` began, when the provider reports one that is
/// still running; otherwise `fallbackSeconds` before now.
QDateTime anchoredStart(AIProvider provider, const QList<ProviderMetric>& metrics,
                        std::initializer_list<QStringView> kinds, const QDateTime& now, qint64 fallbackSeconds)
{
    for (const ProviderMetric& metric : metrics) {
        if (metric.provider != provider || std::find(kinds.begin(), kinds.end(), metric.kind) == kinds.end())
            continue;
        // Only the first matching metric anchors. A passed reset falls back rather than reach
        // into a window that has ended; a length of 0 or less is no length.
        if (metric.resetsAt && metric.windowLength && *metric.resetsAt > now && std::isfinite(*metric.windowLength) &&
            *metric.windowLength > 0)
            return metric.resetsAt->addMSecs(-qint64(std::llround(*metric.windowLength * 1000.0)));
        break;
    }
    return now.addSecs(-fallbackSeconds);
}

/**
 * Groups the events in [start, end) by a name. Names are looked up once per distinct interned
 * text (a dense handle), not once per event, which keeps 200,000 events in the low milliseconds.
 */
template<class NameOf>
std::vector<LocalUsageShare> shares(std::span<const LocalUsageEvent> events, std::optional<AIProvider> only,
                                    const QDateTime& start, const QDateTime& end, int limit,
                                    InternedString LocalUsageEvent::*field, const NameOf& nameOf)
{
    const EpochMs from = start.toMSecsSinceEpoch();
    const EpochMs to = end.toMSecsSinceEpoch();
    std::vector<int> groupOfHandle;
    QHash<QString, int> groupOfName;
    std::vector<LocalUsageShare> groups;
    for (const LocalUsageEvent& e : events) {
        if (e.timestamp < from || e.timestamp >= to || (only && e.provider != *only))
            continue;
        const InternedString key = e.*field;
        if (key.handle() >= groupOfHandle.size())
            groupOfHandle.resize(key.handle() + 1, -1);
        int& group = groupOfHandle[key.handle()];
        if (group < 0) {
            const QString name = nameOf(key);
            auto it = groupOfName.find(name);
            if (it == groupOfName.end()) {
                it = groupOfName.insert(name, int(groups.size()));
                groups.push_back({name, {}, 0});
            }
            group = it.value();
        }
        groups[std::size_t(group)].totals.add(e);
    }
    std::int64_t total = 0;
    for (const LocalUsageShare& share : groups)
        total += share.totals.tokens();
    // All-zero tokens give fractions of 0, not a division by zero.
    total = std::max<std::int64_t>(total, 1);
    for (LocalUsageShare& share : groups)
        share.fraction = double(share.totals.tokens()) / double(total);
    // Equal sums go by name, so the list does not reshuffle between scans.
    std::sort(groups.begin(), groups.end(), [](const LocalUsageShare& a, const LocalUsageShare& b) {
        const auto ta = a.totals.tokens();
        const auto tb = b.totals.tokens();
        return ta != tb ? ta > tb : a.name < b.name;
    });
    if (groups.size() > std::size_t(std::max(limit, 0)))
        groups.resize(std::size_t(std::max(limit, 0)));
    return groups;
}

} // namespace

std::vector<LocalUsageEvent> providerEvents(std::span<const LocalUsageEvent> events, AIProvider provider)
{
    std::vector<LocalUsageEvent> out;
    for (const LocalUsageEvent& e : events) {
        if (e.provider == provider)
            out.push_back(e);
    }
    return out;
}

std::array<LocalUsageWindow, 3> localUsageWindows(std::span<const LocalUsageEvent> events, AIProvider provider,
                                                  const QList<ProviderMetric>& metrics, const QDateTime& now,
                                                  const PriceTable& prices)
{
    // The events are the provider's already; others are passed over all the same, so the card
    // can hand over the whole list without copying it.
    const QDateTime session =
        anchoredStart(provider, metrics, {u"session", u"five_hour", u"primary"}, now, kFiveHoursSeconds);
    const QDateTime today = now.toLocalTime().date().startOfDay();
    const QDateTime weekly =
        anchoredStart(provider, metrics, {u"weekly_all", u"seven_day", u"secondary"}, now, kSevenDaysSeconds);
    std::array<LocalUsageWindow, 3> windows{{
        {u"5-hour window"_s, session, now, {}, {}},
        {u"Today"_s, today, now, {}, {}},
        {u"7-day window"_s, weekly, now, {}, {}},
    }};
    // One pass for all three windows.
    std::array<EpochMs, 3> starts{};
    for (std::size_t i = 0; i < windows.size(); ++i)
        starts[i] = windows[i].start.toMSecsSinceEpoch();
    const EpochMs end = now.toMSecsSinceEpoch();
    const EpochMs earliest = *std::min_element(starts.begin(), starts.end());
    detail::EventPricer pricer(prices);
    std::array<double, 3> nano{};
    for (const LocalUsageEvent& e : events) {
        if (e.timestamp >= end || e.timestamp < earliest || e.provider != provider)
            continue;
        // Priced once, however many windows the event falls in.
        const std::optional<double> cost = pricer.nanoUsd(e);
        for (std::size_t i = 0; i < windows.size(); ++i) {
            if (e.timestamp < starts[i])
                continue;
            windows[i].totals.add(e);
            if (cost) {
                nano[i] += *cost;
                ++windows[i].cost.pricedRequests;
            } else {
                ++windows[i].cost.unpricedRequests;
            }
        }
    }
    for (std::size_t i = 0; i < windows.size(); ++i)
        windows[i].cost.usd = nano[i] / 1e9;
    return windows;
}

std::vector<LocalUsageShare> modelShares(std::span<const LocalUsageEvent> events, const QDateTime& start,
                                         const QDateTime& end, int limit)
{
    return shares(events, std::nullopt, start, end, limit, &LocalUsageEvent::model,
                  [](InternedString model) { return displayModelName(model.text()); });
}

std::vector<LocalUsageShare> projectShares(std::span<const LocalUsageEvent> events, const QDateTime& start,
                                           const QDateTime& end, int limit)
{
    return shares(events, std::nullopt, start, end, limit, &LocalUsageEvent::project,
                  [](InternedString project) { return project.text(); });
}

namespace {

std::vector<LocalUsageDay> dayTotalsOf(std::span<const LocalUsageEvent> events, std::optional<AIProvider> only,
                                       int days, const QDateTime& now)
{
    std::vector<LocalUsageDay> out;
    if (days <= 0)
        return out;
    const QDate today = now.toLocalTime().date();
    std::vector<std::pair<EpochMs, EpochMs>> bounds;
    for (int k = days - 1; k >= 0; --k) {
        const QDate date = today.addDays(-k);
        const QDateTime start = date.startOfDay();
        const QDateTime end = date.addDays(1).startOfDay();
        if (!start.isValid() || !end.isValid())
            continue;
        out.push_back({start, {}});
        bounds.emplace_back(start.toMSecsSinceEpoch(), end.toMSecsSinceEpoch());
    }
    if (bounds.empty())
        return out;
    const EpochMs first = bounds.front().first;
    const EpochMs last = bounds.back().second;
    std::size_t hint = 0;
    for (const LocalUsageEvent& e : events) {
        if (e.timestamp < first || e.timestamp >= last || (only && e.provider != *only))
            continue;
        // Events come mostly in time order: the day of the previous event is the best first guess.
        if (!(bounds[hint].first <= e.timestamp && e.timestamp < bounds[hint].second)) {
            const auto it = std::upper_bound(bounds.begin(), bounds.end(), e.timestamp,
                                             [](EpochMs t, const auto& day) { return t < day.second; });
            if (it == bounds.end() || e.timestamp < it->first)
                continue; // between days the calendar could not form
            hint = std::size_t(it - bounds.begin());
        }
        out[hint].totals.add(e);
    }
    return out;
}

} // namespace

std::vector<LocalUsageDay> dayTotals(std::span<const LocalUsageEvent> events, int days, const QDateTime& now)
{
    return dayTotalsOf(events, std::nullopt, days, now);
}

LocalUsageCardData LocalUsageCardData::build(std::span<const LocalUsageEvent> allEvents, AIProvider provider,
                                             const QList<ProviderMetric>& metrics, const QDateTime& now,
                                             const PriceTable& prices)
{
    // Every step reads the whole list and passes over other providers: no copy of 200,000 events.
    LocalUsageCardData data;
    data.hasEvents = std::any_of(allEvents.begin(), allEvents.end(),
                                 [provider](const LocalUsageEvent& e) { return e.provider == provider; });
    data.windows = localUsageWindows(allEvents, provider, metrics, now, prices);
    const QDateTime weekStart = data.windows[2].start;
    data.models = shares(allEvents, provider, weekStart, now, kModelLimitExpanded, &LocalUsageEvent::model,
                         [](InternedString model) { return displayModelName(model.text()); });
    data.projects = shares(allEvents, provider, weekStart, now, kProjectLimitExpanded, &LocalUsageEvent::project,
                           [](InternedString project) { return project.text(); });
    data.days = dayTotalsOf(allEvents, provider, kDays, now);
    return data;
}

QString windowDetailText(const LocalUsageTotals& totals, const LocalUsageCost& cost)
{
    QStringList parts = {
        QString::number(totals.requests) + u" requests"_s,
        shortTokenCount(totals.outputTokens) + u" out"_s,
        shortTokenCount(totals.cacheReadTokens) + u" cached"_s,
    };
    if (cost.pricedRequests > 0)
        parts.append(costText(cost.usd));
    return parts.join(u" · "_s);
}

QString sharePercentText(double fraction)
{
    return QString::number(std::llround(fraction * 100.0)) + u'%';
}

} // namespace tallyvue
