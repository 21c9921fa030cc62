// SPDX-License-Identifier: MIT
#include "insights/Presentation.h"

#include "model/Formatting.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {

UsageLevel usageLevel(double usedPercent)
{
    if (std::isnan(usedPercent) || usedPercent <= 50)
        return UsageLevel::Green;
    if (usedPercent <= 80)
        return UsageLevel::Yellow;
    return UsageLevel::Red;
}

InsightCaption insightCaption(const MetricInsight& insight, const QDateTime& now)
{
    InsightCaption caption;
    if (insight.deltaLastHour && std::isfinite(*insight.deltaLastHour)) {
        const long long d = std::llround(*insight.deltaLastHour); // halves away from zero
        CaptionPart change;
        change.icon = d >= 1 ? u"arrow.up.right"_s : d == 0 ? u"arrow.right"_s : u"arrow.down.right"_s;
        change.text = (d >= 1 ? u"+"_s : QString()) + QString::number(d) + u"% last hour"_s;
        change.tone = d < 1 ? CaptionTone::Tertiary : CaptionTone::Secondary;
        change.toolTip = u"Change over the last hour"_s;
        caption.change = change;
    }
    const Projection& projection = insight.projection;
    switch (projection.kind) {
    case Projection::Kind::Stable: caption.projection = CaptionPart{{}, u"steady"_s, CaptionTone::Tertiary, {}}; break;
    case Projection::Kind::EndsAt:
        caption.projection = CaptionPart{{},
                                         u"ends at ~"_s + QString::number(std::llround(projection.percent)) + u'%',
                                         CaptionTone::Secondary,
                                         u"Projected usage when this window resets"_s};
        break;
    case Projection::Kind::HitsLimit:
        caption.projection =
            CaptionPart{u"exclamationmark.triangle.fill"_s,
                        u"100% in ~"_s + durationText(double(now.msecsTo(projection.at)) / 1000.0), CaptionTone::Red,
                        u"At the current pace you reach the limit before it resets"_s};
        break;
    case Projection::Kind::InsufficientData: break;
    }
    return caption;
}

QString weekdayMonthDayPattern(const QLocale& locale)
{
    // The locale's own order of day and month, as its short date shows it ("Mon, Jan 5" in
    // the US, "Mon, 5 Jan" in Britain). The C locale names months the English way, US order.
    if (locale.language() == QLocale::C)
        return u"ddd, MMM d"_s;
    const QString shortFormat = locale.dateFormat(QLocale::ShortFormat);
    return shortFormat.indexOf(u'd') < shortFormat.indexOf(u'M') ? u"ddd, d MMM"_s : u"ddd, MMM d"_s;
}

std::optional<QString> resetCountdownText(const std::optional<QDateTime>& resetsAt, const QDateTime& now,
                                          const QLocale& locale)
{
    if (!resetsAt)
        return std::nullopt;
    const double seconds = double(now.msecsTo(*resetsAt)) / 1000.0;
    if (seconds <= 0)
        return u"Resets soon"_s;
    if (seconds > 129600)
        return u"Resets "_s + locale.toString(resetsAt->toLocalTime().date(), weekdayMonthDayPattern(locale));
    return u"Resets in "_s + durationText(seconds);
}

QString relativeTimeText(const QDateTime& date, const QDateTime& now)
{
    const qint64 seconds = date.secsTo(now);
    const qint64 magnitude = std::abs(seconds);
    if (magnitude < 1)
        return u"now"_s;
    const auto phrase = [seconds](qint64 count, QStringView unit) -> QString {
        const QString amount = QString::number(count) + u' ' + unit + (count == 1 ? QString() : u"s"_s);
        return seconds > 0 ? amount + u" ago"_s : u"in "_s + amount;
    };
    if (magnitude < 60)
        return phrase(magnitude, u"second");
    if (magnitude < 3600)
        return phrase(magnitude / 60, u"minute");
    if (magnitude < 86400)
        return phrase(magnitude / 3600, u"hour");
    if (magnitude < 2 * 86400)
        return seconds > 0 ? u"yesterday"_s : u"tomorrow"_s;
    if (magnitude < 7 * 86400)
        return phrase(magnitude / 86400, u"day");
    return phrase(magnitude / (7 * 86400), u"week");
}

QString capitalizedText(QStringView text)
{
    QString result;
    result.reserve(text.size());
    bool atWordStart = true;
    for (const QChar c : text) {
        if (c.isSpace()) {
            result += c;
            atWordStart = true;
            continue;
        }
        result += atWordStart ? c.toUpper() : c.toLower();
        atWordStart = false;
    }
    return result;
}

} // namespace tallyvue
