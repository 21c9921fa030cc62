// SPDX-License-Identifier: MIT
#include "logic/UsageModel.h"

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace tallyvue::widget {

namespace {

constexpr std::array kAllProviders{AIProvider::Claude, AIProvider::ChatGPT, AIProvider::Copilot};

/// Claude's windows per model ("weekly_opus"), as opposed to its overall week ("weekly_all").
bool isPerModelWeekly(const ProviderMetric& metric)
{
    return metric.provider == AIProvider::Claude && metric.kind.startsWith(u"weekly_") && metric.kind != u"weekly_all";
}

} // namespace

QString rawValue(AIProvider provider)
{
    switch (provider) {
    case AIProvider::Claude: return u"Claude"_s;
    case AIProvider::ChatGPT: return u"ChatGPT"_s;
    case AIProvider::Copilot: return u"Copilot"_s;
    }
    return {};
}

std::optional<AIProvider> providerFromRaw(QStringView raw)
{
    for (AIProvider provider : kAllProviders) {
        if (raw == rawValue(provider))
            return provider;
    }
    return std::nullopt;
}

QString providerLetter(AIProvider provider)
{
    switch (provider) {
    case AIProvider::Claude: return u"C"_s;
    case AIProvider::ChatGPT: return u"G"_s;
    case AIProvider::Copilot: return u"P"_s;
    }
    return {};
}

QString rawValue(QuotaDisplayMode mode)
{
    return mode == QuotaDisplayMode::Remaining ? u"remaining"_s : u"used"_s;
}

std::optional<QuotaDisplayMode> displayModeFromRaw(QStringView raw)
{
    if (raw == u"used")
        return QuotaDisplayMode::Used;
    if (raw == u"remaining")
        return QuotaDisplayMode::Remaining;
    return std::nullopt;
}

QString ProviderMetric::id() const
{
    return rawValue(provider) % u':' % kind;
}

std::optional<ProviderMetric> primaryMetric(const WidgetSnapshot& snapshot)
{
    const auto& metrics = snapshot.metrics;
    const auto first = [&metrics](auto&& matches) -> std::optional<ProviderMetric> {
        const auto it = std::find_if(metrics.cbegin(), metrics.cend(), matches);
        return it == metrics.cend() ? std::nullopt : std::optional(*it);
    };
    if (snapshot.primaryMetricID) {
        if (auto chosen = first([&](const ProviderMetric& m) { return m.id() == *snapshot.primaryMetricID; }))
            return chosen;
    }
    if (auto session =
            first([](const ProviderMetric& m) { return m.provider == AIProvider::Claude && m.kind == u"session"; }))
        return session;
    if (!metrics.isEmpty())
        return metrics.first();
    return std::nullopt;
}

QList<ProviderMetric> mediumMetrics(const WidgetSnapshot& snapshot)
{
    QList<ProviderMetric> rows = snapshot.metrics;
    std::stable_partition(rows.begin(), rows.end(), [](const ProviderMetric& m) { return !isPerModelWeekly(m); });
    if (rows.size() > kMediumRowLimit)
        rows.resize(kMediumRowLimit);
    return rows;
}

} // namespace tallyvue::widget
