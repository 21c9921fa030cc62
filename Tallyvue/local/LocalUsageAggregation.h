// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageCost.h"
#include "local/LocalUsageEvent.h"
#include "local/Saturating.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tallyvue {

struct LocalUsageTotals
{
    std::int64_t requests = 0;
    std::int64_t inputTokens = 0;
    std::int64_t outputTokens = 0;
    std::int64_t cacheCreationTokens = 0;
    std::int64_t cacheReadTokens = 0;

    /// The four token sums; requests are not tokens. Sums stop at the 64-bit limits.
    std::int64_t tokens() const
    {
        return saturatingAdd(saturatingAdd(inputTokens, outputTokens),
                             saturatingAdd(cacheCreationTokens, cacheReadTokens));
    }
    void add(const LocalUsageEvent& event);
    void add(const LocalUsageTotals& other);

    friend bool operator==(const LocalUsageTotals&, const LocalUsageTotals&) = default;
};

/// One bar segment of a stacked chart.
struct LocalUsageStack
{
    QString name;
    AIProvider provider = AIProvider::Claude;
    std::int64_t tokens = 0;
    std::optional<QDateTime> day;

    /// name + "-" + provider, e.g. "Opus 4.1-Claude".
    QString id() const;

    friend bool operator==(const LocalUsageStack&, const LocalUsageStack&) = default;
};

// Ranges are half-open: an event counts when start <= its timestamp < end.

LocalUsageTotals localUsageTotals(std::span<const LocalUsageEvent> events, const QDateTime& start,
                                  const QDateTime& end);

/// Token sums per project and provider for the `limit` projects with the most tokens.
std::vector<LocalUsageStack> projectStacks(std::span<const LocalUsageEvent> events, const QDateTime& start,
                                           const QDateTime& end, int limit);

/// Token sums per display model name and provider for the `limit` models with the most tokens.
std::vector<LocalUsageStack> modelStacks(std::span<const LocalUsageEvent> events, const QDateTime& start,
                                         const QDateTime& end, int limit);

/// For each of the last `days` local calendar days (today last) and each provider, that
/// day's tokens, named by the abbreviated weekday. Days keep their real length across
/// daylight-saving changes.
std::vector<LocalUsageStack> dailyStacks(std::span<const LocalUsageEvent> events, int days, const QDateTime& now);

/// "claude-opus-4-1-20250805" gives "Opus 4.1"; "gpt-5-codex" gives "GPT 5 codex".
QString displayModelName(QStringView model);

/// "950", "1.5K", "12K", "2.3M".
QString shortTokenCount(std::int64_t count);

/// Usage of one model of one provider on one local calendar day.
struct LocalUsageDayRow
{
    QDate date;
    AIProvider provider = AIProvider::Claude;
    InternedString model;
    LocalUsageTotals totals;
    LocalUsageCost cost;

    friend bool operator==(const LocalUsageDayRow&, const LocalUsageDayRow&) = default;
};

/// Rows for the last `days` local calendar days up to today, oldest day first, then by
/// provider order and model text, each with its cost at `prices`.
std::vector<LocalUsageDayRow> dailyModelRows(std::span<const LocalUsageEvent> events, int days, const QDateTime& now,
                                             const PriceTable& prices = PriceTable::shared());

} // namespace tallyvue
