// SPDX-License-Identifier: MIT
#pragma once

#include "model/ProviderMetric.h"

#include <QDateTime>
#include <QString>

namespace tallyvue {

/// Integer part of the shown percent ("42%"); the used percent is clamped to 0...100 first.
QString percentText(double usedPercent, QuotaDisplayMode mode);
/// The percent actually shown in a mode, clamped, not truncated (bars use it).
double shownPercent(double usedPercent, QuotaDisplayMode mode);
/// Compact duration: "1m", "2h 5m", "6d 23h". Negative durations count as zero.
QString durationText(double seconds);
/// A dollar amount with cents: "$12.50". An amount that is not a number reads "$0.00".
QString moneyText(double amount);
/// A clock reading of `date` in local time ("12:04", "12:04 PM"), without seconds.
QString clockTimeText(const QDateTime& date);
/// The text with every control character replaced (tab, CR and LF by a space, or LF kept with
/// `keepLineFeeds`; the others, ESC among them, by U+FFFD), so that text from a server can
/// neither steer a terminal nor break a CSV row.
QString printableText(QStringView text, bool keepLineFeeds = false);

} // namespace tallyvue
