// SPDX-License-Identifier: MIT
#include "model/MenuBarLabelText.h"

#include "model/Formatting.h"

using namespace Qt::StringLiterals;

namespace tallyvue {

std::optional<ProviderMetric> metricById(const QList<ProviderMetric>& metrics, QStringView id)
{
    if (!id.contains(u':'))
        return std::nullopt;
    for (const ProviderMetric& metric : metrics) {
        if (metric.id() == id)
            return metric;
    }
    return std::nullopt;
}

std::optional<ProviderMetric> resolveBadge(const QList<ProviderMetric>& metrics, const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    if (auto metric = metricById(metrics, text))
        return metric;
    return metricById(metrics, QString(u"Claude:"_s + text));
}

std::optional<AIProvider> chosenBadgeProvider(const QString& selectedBadge)
{
    const qsizetype colon = selectedBadge.indexOf(u':');
    if (colon < 0)
        return AIProvider::Claude;
    return providerFromRaw(QStringView(selectedBadge).left(colon));
}

LabelBadges selectBadges(const QList<ProviderMetric>& metrics, const QString& selectedBadge,
                         const QString& secondaryBadge)
{
    LabelBadges badges;
    badges.chosen = chosenBadgeProvider(selectedBadge);
    badges.primary = resolveBadge(metrics, selectedBadge);
    if (!badges.primary)
        badges.primary = metricById(metrics, u"Claude:session");
    if (!badges.primary && !metrics.isEmpty())
        badges.primary = metrics.first();

    const auto candidate = selectedBadge.isEmpty() && secondaryBadge.isEmpty()
                               ? metricById(metrics, u"Claude:weekly_all")
                               : resolveBadge(metrics, secondaryBadge);
    if (candidate && (!badges.primary || candidate->id() != badges.primary->id()))
        badges.secondary = candidate;
    return badges;
}

BadgeChoices chooseBadge(const QList<ProviderMetric>& metrics, const BadgeChoices& stored, bool first,
                         const QString& id)
{
    const LabelBadges shown = selectBadges(metrics, stored.selected, stored.secondary);
    const bool defaults = stored.selected.isEmpty() && stored.secondary.isEmpty();
    BadgeChoices result = stored;
    if (first) {
        result.selected = id;
        if (defaults && shown.secondary)
            result.secondary = shown.secondary->id();
    } else {
        result.secondary = id;
        if (stored.selected.isEmpty() && shown.primary)
            result.selected = shown.primary->id();
    }
    return result;
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

QString shortWindowLabel(const ProviderMetric& metric)
{
    if (metric.kind == u"session" || metric.kind == u"five_hour")
        return u"5h"_s;
    if (metric.kind == u"weekly_all" || metric.kind == u"seven_day" || metric.kind == u"secondary")
        return u"7d"_s;
    return metric.title;
}

QString menuBarLabelText(const LabelBadges& badges, QuotaDisplayMode mode, bool showsCountdown, const QDateTime& now)
{
    if (!badges.primary)
        return {};
    const ProviderMetric& primary = *badges.primary;
    const bool standIn = badges.chosen && primary.provider != *badges.chosen;
    const bool letters = standIn || (badges.secondary && badges.secondary->provider != primary.provider);

    QString text = letters ? providerLetter(primary.provider) + u' ' : QString();
    text += primary.percentText(mode);
    if (showsCountdown && primary.resetsAt) {
        const double seconds = now.msecsTo(*primary.resetsAt) / 1000.0;
        if (seconds > 0 && seconds < 129600)
            text += u" · "_s + durationText(seconds);
    }
    if (badges.secondary) {
        const ProviderMetric& secondary = *badges.secondary;
        text += u"  ·  "_s + (letters ? providerLetter(secondary.provider) : shortWindowLabel(secondary)) + u' ' +
                secondary.percentText(mode);
    }
    return text;
}

} // namespace tallyvue
