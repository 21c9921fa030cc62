// SPDX-License-Identifier: MIT
#pragma once

// What each view shows, decided without drawing: the texts, the colour and how full each
// ring or bar is. The views only paint these.

#include "logic/UsageText.h"
#include "logic/UsageTimeline.h"

#include <QList>
#include <QString>

#include <optional>

namespace tallyvue::widget {

inline constexpr QStringView kEmptyStateText = u"Open Tallyvue to load usage";
inline constexpr QStringView kHeaderTitle = u"Tallyvue";

/// Fraction of the circle a ring covers: shown ÷ 100, never less than a sliver.
double ringFraction(double usedPercent, QuotaDisplayMode mode);
inline constexpr double kMinimumRingFraction = 0.01;
/// Fraction of the width a bar fills: shown ÷ 100, no minimum.
double barFraction(double usedPercent, QuotaDisplayMode mode);

struct SmallContent
{
    QString percentText;              ///< "42%"
    QString caption;                  ///< "Claude · 5-Hour"
    std::optional<QString> resetText; ///< "Resets in 2h"
    UsageColor color = UsageColor::Green;
    double ringFraction = kMinimumRingFraction;
};

struct MediumRow
{
    QString letter; ///< "C"
    QString title;
    QString percentText;
    std::optional<QString> resetText; ///< compact: "2h", "Jan 7", "soon"
    UsageColor color = UsageColor::Green;
    double barFraction = 0;
};

struct MediumContent
{
    QString updatedText; ///< "Updated 5 minutes ago"
    QList<MediumRow> rows;
};

/// Whether an entry has nothing to show: no snapshot, or one without metrics.
bool isEmptyEntry(const UsageEntry& entry);
/// The small widget at `now`; none when the snapshot has no primary metric.
std::optional<SmallContent> smallContent(const WidgetSnapshot& snapshot, const QDateTime& now,
                                         const QLocale& locale = QLocale());
MediumContent mediumContent(const WidgetSnapshot& snapshot, const QDateTime& now, const QLocale& locale = QLocale());

} // namespace tallyvue::widget
