// SPDX-License-Identifier: MIT
#include "local/LocalUsageAggregation.h"

#include <QHash>
#include <QLocale>

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

bool inRange(const LocalUsageEvent& e, EpochMs start, EpochMs end)
{
    return start <= e.timestamp && e.timestamp < end;
}

template<class KeyOf>
std::vector<LocalUsageStack> stacks(std::span<const LocalUsageEvent> events, const QDateTime& start,
                                    const QDateTime& end, int limit, const KeyOf& keyOf)
{
    const EpochMs from = start.toMSecsSinceEpoch();
    const EpochMs to = end.toMSecsSinceEpoch();
    struct Sums
    {
        std::array<std::int64_t, kAllProviders.size()> tokens{};
        std::array<bool, kAllProviders.size()> used{};
        std::int64_t total = 0;
    };
    QHash<QString, Sums> byKey;
    for (const LocalUsageEvent& e : events) {
        if (!inRange(e, from, to))
            continue;
        Sums& sums = byKey[keyOf(e)];
        const auto p = std::size_t(e.provider);
        const std::int64_t tokens = e.totalTokens();
        sums.tokens[p] = saturatingAdd(sums.tokens[p], tokens);
        sums.used[p] = true;
        sums.total = saturatingAdd(sums.total, tokens);
    }
    std::vector<std::pair<QString, Sums>> ranked;
    ranked.reserve(std::size_t(byKey.size()));
    for (auto it = byKey.cbegin(); it != byKey.cend(); ++it)
        ranked.emplace_back(it.key(), it.value());
    // Ties are broken by name so that the chart does not reshuffle between redraws.
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return a.second.total != b.second.total ? a.second.total > b.second.total : a.first < b.first;
    });
    if (limit < 0)
        limit = 0;
    if (ranked.size() > std::size_t(limit))
        ranked.resize(std::size_t(limit));
    std::vector<LocalUsageStack> out;
    for (const auto& [name, sums] : ranked) {
        for (const AIProvider provider : kAllProviders) {
            const auto p = std::size_t(provider);
            if (sums.used[p])
                out.push_back({name, provider, sums.tokens[p], std::nullopt});
        }
    }
    return out;
}

QString capitalized(const QString& text)
{
    QString out = text.toLower();
    bool wordStart = true;
    for (QChar& c : out) {
        if (c.isSpace()) {
            wordStart = true;
        } else {
            if (wordStart)
                c = c.toUpper();
            wordStart = false;
        }
    }
    return out;
}

bool isEightDigitNumber(QStringView part)
{
    if (part.size() != 8)
        return false;
    qsizetype i = part.front() == u'+' || part.front() == u'-' ? 1 : 0;
    if (i == part.size())
        return false;
    for (; i < part.size(); ++i) {
        if (part[i] < u'0' || part[i] > u'9')
            return false;
    }
    return true;
}

} // namespace

void LocalUsageTotals::add(const LocalUsageEvent& event)
{
    ++requests;
    inputTokens = saturatingAdd(inputTokens, event.inputTokens);
    outputTokens = saturatingAdd(outputTokens, event.outputTokens);
    cacheCreationTokens = saturatingAdd(cacheCreationTokens, event.cacheCreationTokens);
    cacheReadTokens = saturatingAdd(cacheReadTokens, event.cacheReadTokens);
}

void LocalUsageTotals::add(const LocalUsageTotals& other)
{
    requests = saturatingAdd(requests, other.requests);
    inputTokens = saturatingAdd(inputTokens, other.inputTokens);
    outputTokens = saturatingAdd(outputTokens, other.outputTokens);
    cacheCreationTokens = saturatingAdd(cacheCreationTokens, other.cacheCreationTokens);
    cacheReadTokens = saturatingAdd(cacheReadTokens, other.cacheReadTokens);
}

QString LocalUsageStack::id() const
{
    return name + u'-' + rawValue(provider);
}

LocalUsageTotals localUsageTotals(std::span<const LocalUsageEvent> events, const QDateTime& start, const QDateTime& end)
{
    const EpochMs from = start.toMSecsSinceEpoch();
    const EpochMs to = end.toMSecsSinceEpoch();
    LocalUsageTotals totals;
    for (const LocalUsageEvent& e : events) {
        if (inRange(e, from, to))
            totals.add(e);
    }
    return totals;
}

std::vector<LocalUsageStack> projectStacks(std::span<const LocalUsageEvent> events, const QDateTime& start,
                                           const QDateTime& end, int limit)
{
    return stacks(events, start, end, limit, [](const LocalUsageEvent& e) { return e.project.text(); });
}

std::vector<LocalUsageStack> modelStacks(std::span<const LocalUsageEvent> events, const QDateTime& start,
                                         const QDateTime& end, int limit)
{
    // Display names are built once per distinct model, not once per event.
    QHash<InternedString, QString> names;
    return stacks(events, start, end, limit, [&names](const LocalUsageEvent& e) {
        auto it = names.find(e.model);
        if (it == names.end())
            it = names.insert(e.model, displayModelName(e.model.text()));
        return it.value();
    });
}

std::vector<LocalUsageStack> dailyStacks(std::span<const LocalUsageEvent> events, int days, const QDateTime& now)
{
    std::vector<LocalUsageStack> out;
    if (days <= 0)
        return out;
    const QDate today = now.toLocalTime().date();
    const QLocale locale = QLocale::system();
    for (int k = -(days - 1); k <= 0; ++k) {
        const QDate date = today.addDays(k);
        const QDateTime start = date.startOfDay();
        const QDateTime end = date.addDays(1).startOfDay();
        if (!start.isValid() || !end.isValid())
            continue;
        const EpochMs from = start.toMSecsSinceEpoch();
        const EpochMs to = end.toMSecsSinceEpoch();
        std::array<std::int64_t, kAllProviders.size()> tokens{};
        for (const LocalUsageEvent& e : events) {
            if (inRange(e, from, to))
                tokens[std::size_t(e.provider)] = saturatingAdd(tokens[std::size_t(e.provider)], e.totalTokens());
        }
        const QString name = locale.toString(start, u"ddd"_s);
        for (const AIProvider provider : kAllProviders)
            out.push_back({name, provider, tokens[std::size_t(provider)], start});
    }
    return out;
}

QString displayModelName(QStringView model)
{
    if (model.startsWith(u"gpt"))
        return model.toString().replace(u"gpt-"_s, u"GPT "_s).replace(u'-', u' ');
    QStringList parts = model.toString().split(u'-', Qt::SkipEmptyParts);
    if (!parts.isEmpty() && parts.front() == u"claude")
        parts.removeFirst();
    if (!parts.isEmpty() && isEightDigitNumber(parts.back()))
        parts.removeLast();
    if (parts.isEmpty())
        return model.toString();
    QString out = capitalized(parts.takeFirst());
    if (!parts.isEmpty())
        out += u' ' + parts.join(u'.');
    return out;
}

QString shortTokenCount(std::int64_t count)
{
    if (count < 1'000)
        return QString::number(count);
    if (count < 10'000)
        return QString::asprintf("%.1fK", double(count) / 1'000.0);
    if (count < 1'000'000)
        return QString::number(count / 1'000) + u'K';
    return QString::asprintf("%.1fM", double(count) / 1'000'000.0);
}

std::vector<LocalUsageDayRow> dailyModelRows(std::span<const LocalUsageEvent> events, int days, const QDateTime& now,
                                             const PriceTable& prices)
{
    std::vector<LocalUsageDayRow> rows;
    if (days <= 0)
        return rows;
    const QDate today = now.toLocalTime().date();
    const EpochMs from = today.addDays(-(days - 1)).startOfDay().toMSecsSinceEpoch();
    const EpochMs to = today.addDays(1).startOfDay().toMSecsSinceEpoch();
    // Events come oldest first, so the local date only changes now and then: convert once per
    // distinct day boundary instead of once per event.
    struct Group
    {
        LocalUsageDayRow row;
        double nanoUsd = 0;
    };
    std::map<std::tuple<qint64, int, QString>, Group> grouped;
    detail::EventPricer pricer(prices);
    QDate date;
    EpochMs dayStart = 0;
    EpochMs dayEnd = 0;
    for (const LocalUsageEvent& e : events) {
        if (!inRange(e, from, to))
            continue;
        if (!(dayStart <= e.timestamp && e.timestamp < dayEnd)) {
            date = QDateTime::fromMSecsSinceEpoch(e.timestamp).date();
            dayStart = date.startOfDay().toMSecsSinceEpoch();
            dayEnd = date.addDays(1).startOfDay().toMSecsSinceEpoch();
        }
        const auto key = std::make_tuple(date.toJulianDay(), int(e.provider), e.model.text());
        auto it = grouped.find(key);
        if (it == grouped.end())
            it = grouped.emplace(key, Group{LocalUsageDayRow{date, e.provider, e.model, {}, {}}}).first;
        Group& group = it->second;
        group.row.totals.add(e);
        if (const auto cost = pricer.nanoUsd(e)) {
            group.nanoUsd += *cost;
            ++group.row.cost.pricedRequests;
        } else {
            ++group.row.cost.unpricedRequests;
        }
    }
    rows.reserve(grouped.size());
    for (auto& [key, group] : grouped) {
        group.row.cost.usd = group.nanoUsd / 1e9;
        rows.push_back(group.row);
    }
    return rows;
}

} // namespace tallyvue
