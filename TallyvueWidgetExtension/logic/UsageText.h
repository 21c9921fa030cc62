// SPDX-License-Identifier: MIT
#pragma once

// The widget's copies of the application's percent, duration and colour rules, and the texts
// only the widget shows. Both programs must give the same results on the same inputs.

#include "logic/UsageModel.h"

#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

namespace tallyvue::widget {

/// The percent actually shown: used clamped to 0...100, inverted in remaining mode (not truncated).
double shownPercent(double usedPercent, QuotaDisplayMode mode);
/// Integer part of the shown percent, then "%": 42.7 gives "42%" used, "57%" remaining.
QString percentText(double usedPercent, QuotaDisplayMode mode);
/// Compact duration from whole seconds: "1m", "2h 5m", "6d 23h". Negative durations count as zero.
QString durationText(double seconds);

/// Past this many seconds ahead a reset is shown as a date rather than a countdown.
inline constexpr qint64 kCountdownLimitSeconds = 129600;

enum class ResetForm {
    Full,    ///< "Resets in 2h", "Resets Jan 7", "Resets soon"
    Compact, ///< "2h", "Jan 7", "soon"
};

/// The reset text of a window at `now`, or none when the window has no reset time.
std::optional<QString> resetText(const std::optional<QDateTime>& resetsAt, const QDateTime& now, ResetForm form,
                                 const QLocale& locale = QLocale());
/// Abbreviated month and day in the locale's order ("Jan 7", "7 Jan"), in local time.
QString monthDayText(const QDateTime& date, const QLocale& locale = QLocale());
/// How long ago `date` was, in words: "now", "5 minutes ago", "yesterday", "in 2 hours".
QString relativeTimeText(const QDateTime& date, const QDateTime& now);

/// The usage colour scale, always decided on the used percent whatever is displayed.
enum class UsageColor { Green, Yellow, Red };
/// 50 or less green, up to 80 yellow, above 80 red.
UsageColor usageColor(double usedPercent);

enum class Appearance { Light, Dark };
/// The colour itself; the light theme gets deeper tones so text reaches 4.5:1 on its background.
QColor colorValue(UsageColor color, Appearance appearance);

} // namespace tallyvue::widget
