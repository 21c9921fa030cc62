// SPDX-License-Identifier: MIT
#include "model/Formatting.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdint>

using namespace Qt::StringLiterals;

namespace tallyvue {

double shownPercent(double usedPercent, QuotaDisplayMode mode)
{
    const double used = std::isnan(usedPercent) ? 0.0 : std::clamp(usedPercent, 0.0, 100.0);
    return mode == QuotaDisplayMode::Remaining ? 100.0 - used : used;
}

QString percentText(double usedPercent, QuotaDisplayMode mode)
{
    return QString::number(static_cast<int>(shownPercent(usedPercent, mode))) + u'%';
}

QString durationText(double seconds)
{
    // Clamp before converting: a NaN or a huge value must not overflow the integer.
    const double bounded = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, 9.0e15);
    const auto s = static_cast<std::int64_t>(bounded);
    if (s < 3600)
        return QString::number(std::max<std::int64_t>(1, s / 60)) + u'm';
    if (s < 86400) {
        const auto h = s / 3600;
        const auto rest = s % 3600;
        if (rest < 60)
            return QString::number(h) + u'h';
        return QString::number(h) + u"h "_s + QString::number(rest / 60) + u'm';
    }
    const auto d = s / 86400;
    const auto rest = s % 86400;
    if (rest < 3600)
        return QString::number(d) + u'd';
    return QString::number(d) + u"d "_s + QString::number(rest / 3600) + u'h';
}

QString moneyText(double amount)
{
    return u"$"_s + QString::asprintf("%.2f", std::isfinite(amount) ? amount : 0.0);
}

QString printableText(QStringView text, bool keepLineFeeds)
{
    QString out = text.toString();
    for (QChar& c : out) {
        if (c.category() != QChar::Other_Control || (keepLineFeeds && c == u'\n'))
            continue;
        c = (c == u'\t' || c == u'\n' || c == u'\r') ? u' ' : QChar(QChar::ReplacementCharacter);
    }
    return out;
}

} // namespace tallyvue

namespace tallyvue {

QString clockTimeText(const QDateTime& date)
{
    const QLocale locale;
    QString format = locale.timeFormat(QLocale::ShortFormat);
    // Some short formats (C's among them) carry seconds; a clock reading does not.
    format.remove(u":ss"_s).remove(u".ss"_s);
    return locale.toString(date.toLocalTime().time(), format);
}

} // namespace tallyvue
