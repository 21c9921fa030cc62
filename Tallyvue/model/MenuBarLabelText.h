// SPDX-License-Identifier: MIT
#pragma once

#include "model/ProviderMetric.h"

#include <QDateTime>
#include <QList>

#include <optional>

namespace tallyvue {

/// The one or two metrics the menu-bar label shows.
struct LabelBadges
{
    std::optional<ProviderMetric> primary;
    std::optional<ProviderMetric> secondary;
    /// The provider of the first badge as chosen (Claude while the defaults are in force). A
    /// figure of another provider stands in for it and carries its provider letter.
    std::optional<AIProvider> chosen;
};

/// The provider a stored first-badge text names: its prefix, Claude for a bare kind or none.
std::optional<AIProvider> chosenBadgeProvider(const QString& selectedBadge);

/// The first metric whose id is `text`, else the Claude metric of that kind (badges may hold a bare kind).
std::optional<ProviderMetric> resolveBadge(const QList<ProviderMetric>& metrics, const QString& text);
std::optional<ProviderMetric> metricById(const QList<ProviderMetric>& metrics, QStringView id);

/// Picks the badges from the stored choices, falling back to Claude's 5-hour and 7-day windows.
LabelBadges selectBadges(const QList<ProviderMetric>& metrics, const QString& selectedBadge,
                         const QString& secondaryBadge);

/// The two stored badge choices ("selectedMenuBadge", "secondaryMenuBadge").
struct BadgeChoices
{
    QString selected;
    QString secondary;
    friend bool operator==(const BadgeChoices&, const BadgeChoices&) = default;
};

/**
 * The stored choices after the user picks `id` (empty: "None") as the first or second badge.
 * While neither badge was ever chosen the label shows its defaults (Claude 5-hour and 7-day);
 * picking one then also stores the other as the label shows it, so that "None" really leaves
 * one badge and a first badge does not silently drop the default second one.
 */
BadgeChoices chooseBadge(const QList<ProviderMetric>& metrics, const BadgeChoices& stored, bool first,
                         const QString& id);

/// "C", "G" or "P": tells two providers apart in the label.
QString providerLetter(AIProvider provider);
/// "5h", "7d" or the metric's title.
QString shortWindowLabel(const ProviderMetric& metric);

/// The label's text ("42%  ·  7d 63%"); empty when there is no primary metric.
QString menuBarLabelText(const LabelBadges& badges, QuotaDisplayMode mode, bool showsCountdown, const QDateTime& now);

} // namespace tallyvue
