// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageAggregation.h"
#include "model/ProviderMetric.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <array>
#include <span>
#include <vector>

namespace tallyvue {

/// One titled time window and what this computer spent in it.
struct LocalUsageWindow
{
    QString title;
    QDateTime start;
    QDateTime end;
    LocalUsageTotals totals;
    LocalUsageCost cost;

    friend bool operator==(const LocalUsageWindow&, const LocalUsageWindow&) = default;
};

/// One model's or project's part of a total; `fraction` is 0...1.
struct LocalUsageShare
{
    QString name;
    LocalUsageTotals totals;
    double fraction = 0;

    friend bool operator==(const LocalUsageShare&, const LocalUsageShare&) = default;
};

/// The totals of one local calendar day; `day` is its start.
struct LocalUsageDay
{
    QDateTime day;
    LocalUsageTotals totals;

    friend bool operator==(const LocalUsageDay&, const LocalUsageDay&) = default;
};

// Ranges are half-open: an event counts when start <= its timestamp < end.

/// The events of one provider, order kept.
std::vector<LocalUsageEvent> providerEvents(std::span<const LocalUsageEvent> events, AIProvider provider);

/// "5-hour window", "Today" and "7-day window", ending now. The first and last start where the
/// provider's own session and weekly quota windows began, so they cover what the account percent
/// covers; without a usable quota window (none, no reset or length, reset passed) they reach back
/// 5 hours and 7 days. Events of other providers are passed over. Each window carries its cost
/// at `prices`.
std::array<LocalUsageWindow, 3> localUsageWindows(std::span<const LocalUsageEvent> events, AIProvider provider,
                                                  const QList<ProviderMetric>& metrics, const QDateTime& now,
                                                  const PriceTable& prices = PriceTable::shared());

/// Totals per display model name (or per project), largest first, at most `limit`.
std::vector<LocalUsageShare> modelShares(std::span<const LocalUsageEvent> events, const QDateTime& start,
                                         const QDateTime& end, int limit);
std::vector<LocalUsageShare> projectShares(std::span<const LocalUsageEvent> events, const QDateTime& start,
                                           const QDateTime& end, int limit);

/// The last `days` local calendar days, oldest first, today last; empty days count 0.
std::vector<LocalUsageDay> dayTotals(std::span<const LocalUsageEvent> events, int days, const QDateTime& now);

/**
 * What one provider's local usage card shows, computed once per scan result (and clock minute)
 * so that drawing it costs nothing. Shares are kept up to the expanded limits; the collapsed
 * card shows their first entries.
 */
struct LocalUsageCardData
{
    static constexpr int kModelLimitExpanded = 8;
    static constexpr int kProjectLimitExpanded = 10;
    static constexpr int kCollapsedLimit = 4;
    static constexpr int kDays = 7;

    bool hasEvents = false;
    std::array<LocalUsageWindow, 3> windows;
    std::vector<LocalUsageShare> models;
    std::vector<LocalUsageShare> projects;
    std::vector<LocalUsageDay> days;

    static LocalUsageCardData build(std::span<const LocalUsageEvent> allEvents, AIProvider provider,
                                    const QList<ProviderMetric>& metrics, const QDateTime& now,
                                    const PriceTable& prices = PriceTable::shared());
};

/// The window row's second line: "12 requests · 1.5K out · 40K cached", then " · $4.20" when
/// some request in the window has a list price.
QString windowDetailText(const LocalUsageTotals& totals, const LocalUsageCost& cost = {});
/// A share's whole percent: "42%".
QString sharePercentText(double fraction);

} // namespace tallyvue
