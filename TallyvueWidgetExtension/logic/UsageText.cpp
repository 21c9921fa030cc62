// SPDX-License-Identifier: MIT
#include "logic/UsageText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

using namespace Qt::StringLiterals;

namespace tallyvue::widget {

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
    // Bound before converting so a NaN or a huge value cannot overflow the integer.
    const double bounded = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, 9.0e15);
    const auto s = static_cast<std::int64_t>(bounded);
    if (s < 3600)
        return QString::number(std::max<std::int64_t>(1, s / 60)) + u'm';
    if (s < 86400) {
        const auto rest = s % 3600;
        const QString hours = QString::number(s / 3600) + u'h';
        return rest < 60 ? hours : hours + u' ' + QString::number(rest / 60) + u'm';
    }
    const auto rest = s % 86400;
    const QString days = QString::number(s / 86400) + u'd';
    return rest < 3600 ? days : days + u' ' + QString::number(rest / 3600) + u'h';
}

QString monthDayText(const QDateTime& date, const QLocale& locale)
{
    // The C locale names months the English way but puts the day first; read it as US English.
    const QLocale effective =
        locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : locale;
    const QString shortFormat = effective.dateFormat(QLocale::ShortFormat);
    const bool dayFirst = shortFormat.indexOf(u'd') < shortFormat.indexOf(u'M');
    return effective.toString(date.toLocalTime().date(), dayFirst ? u"d MMM"_s : u"MMM d"_s);
}

std::optional<QString> resetText(const std::optional<QDateTime>& resetsAt, const QDateTime& now, ResetForm form,
                                 const QLocale& locale)
{
    if (!resetsAt)
        return std::nullopt;
    const bool full = form == ResetForm::Full;
    const double seconds = double(now.msecsTo(*resetsAt)) / 1000.0;
    if (seconds <= 0)
        return full ? u"Resets soon"_s : u"soon"_s;
    if (seconds > double(kCountdownLimitSeconds)) {
        const QString date = monthDayText(*resetsAt, locale);
        return full ? u"Resets "_s + date : date;
    }
    const QString duration = durationText(seconds);
    return full ? u"Resets in "_s + duration : duration;
}

QString relativeTimeText(const QDateTime& date, const QDateTime& now)
{
    struct Unit
    {
        qint64 seconds;
        QStringView name;
        QStringView last; // the named form for one unit back
        QStringView next; // and one unit ahead
    };
    static constexpr Unit kUnits[] = {
        {31'536'000, u"year", u"last year", u"next year"},
        {2'592'000, u"month", u"last month", u"next month"},
        {604'800, u"week", u"last week", u"next week"},
        {86'400, u"day", u"yesterday", u"tomorrow"},
        {3'600, u"hour", {}, {}},
        {60, u"minute", {}, {}},
        {1, u"second", {}, {}},
    };
    const qint64 elapsed = date.secsTo(now);
    const bool past = elapsed >= 0;
    const qint64 magnitude = past ? elapsed : -elapsed;
    for (const Unit& unit : kUnits) {
        const qint64 count = magnitude / unit.seconds;
        if (count == 0)
            continue;
        if (count == 1 && !unit.last.isEmpty())
            return (past ? unit.last : unit.next).toString();
        const QString amount = QString::number(count) + u' ' + unit.name + (count == 1 ? u""_s : u"s"_s);
        return past ? amount + u" ago"_s : u"in "_s + amount;
    }
    return u"now"_s;
}

UsageColor usageColor(double usedPercent)
{
    if (usedPercent > 80)
        return UsageColor::Red;
    if (usedPercent > 50)
        return UsageColor::Yellow;
    return UsageColor::Green;
}

QColor colorValue(UsageColor color, Appearance appearance)
{
    const bool light = appearance == Appearance::Light;
    switch (color) {
    // The application's colour table (its tests hold both copies equal).
    case UsageColor::Green: return light ? QColor(0x17, 0x80, 0x38) : QColor(0x34, 0xC7, 0x59);
    case UsageColor::Yellow: return light ? QColor(0x8A, 0x60, 0x00) : QColor(0xFF, 0xCC, 0x00);
    case UsageColor::Red: return light ? QColor(0xD7, 0x00, 0x15) : QColor(0xFF, 0x69, 0x61);
    }
    return {};
}

} // namespace tallyvue::widget
