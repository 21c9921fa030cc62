// SPDX-License-Identifier: MIT
#pragma once

#include "insights/Insights.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

namespace tallyvue {

/// The used-percent colour scale: 50 or less green, up to 80 yellow, above 80 red.
enum class UsageLevel { Green, Yellow, Red };

/// Always judged on the used percent, whatever the display mode shows.
UsageLevel usageLevel(double usedPercent);

/// How strongly a caption part speaks.
enum class CaptionTone { Secondary, Tertiary, Red };

struct CaptionPart
{
    QString icon; ///< symbol name; empty for none
    QString text;
    CaptionTone tone = CaptionTone::Secondary;
    QString toolTip;
    friend bool operator==(const CaptionPart&, const CaptionPart&) = default;
};

/// The one-hour change and the projection under a metric; either may be absent.
struct InsightCaption
{
    std::optional<CaptionPart> change;
    std::optional<CaptionPart> projection;
};

InsightCaption insightCaption(const MetricInsight& insight, const QDateTime& now);

/// "ddd, MMM d" or "ddd, d MMM": weekday, then day and month in the locale's own order.
QString weekdayMonthDayPattern(const QLocale& locale);

/// "Resets in 2h 5m", "Resets soon" or "Resets Mon, Jan 5"; nothing without a reset time.
std::optional<QString> resetCountdownText(const std::optional<QDateTime>& resetsAt, const QDateTime& now,
                                          const QLocale& locale = QLocale::system());

/// "now", "45 seconds ago", "2 minutes ago", "yesterday", "in 3 hours".
QString relativeTimeText(const QDateTime& date, const QDateTime& now);

/// Each space-separated word with its first letter upper case and the rest lower case.
QString capitalizedText(QStringView text);

} // namespace tallyvue
