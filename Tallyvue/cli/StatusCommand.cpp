// SPDX-License-Identifier: MIT
#include "cli/Commands.h"
#include "model/Formatting.h"
#include "model/MenuBarLabelText.h"
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "platform/linux/SingleInstance.h"
#include "refresh/UsageViewModel.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {
namespace {

/// waybar's state class for a used percent: the same levels as the usage colours.
QString levelClass(double used)
{
    if (used <= 50)
        return u"normal"_s;
    return used <= 80 ? u"warning"_s : u"critical"_s;
}

/// A title may hold a line break or other control characters; a status bar wants one line.
QString oneLine(const QString& text)
{
    return printableText(text);
}

/// waybar reads both `text` and `tooltip` as Pango markup and shows nothing for a field that
/// does not parse, so a title holding `&` or `<` would blank the module.
QString markupEscaped(QStringView text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': escaped += u"&amp;"_s; break;
        case u'<': escaped += u"&lt;"_s; break;
        case u'>': escaped += u"&gt;"_s; break;
        case u'"': escaped += u"&quot;"_s; break;
        case u'\'': escaped += u"&apos;"_s; break;
        default: escaped += c;
        }
    }
    return escaped;
}

/// The highest used percent among the figures the label shows: the bar warns when any of them does.
double highestShownUsed(const LabelBadges& badges)
{
    double highest = 0;
    for (const auto* metric : {&badges.primary, &badges.secondary}) {
        if (*metric && !std::isnan((*metric)->percent))
            highest = std::max(highest, (*metric)->percent);
    }
    return highest;
}

QString tooltipLine(const ProviderMetric& metric, QuotaDisplayMode mode, const QDateTime& now)
{
    QString line = rawValue(metric.provider) + u' ' + metric.title + u": "_s + metric.percentText(mode);
    if (metric.resetsAt) {
        const double seconds = now.msecsTo(*metric.resetsAt) / 1000.0;
        line += seconds <= 0 ? u", resets soon"_s : u", resets in "_s + durationText(seconds);
    }
    return line;
}

/// "3 h ago": short enough for a status bar.
QString agoText(qint64 seconds)
{
    if (seconds < 3600)
        return QString::number(std::max<qint64>(1, seconds / 60)) + u" min ago"_s;
    if (seconds < 2 * 86400)
        return QString::number(seconds / 3600) + u" h ago"_s;
    return QString::number(seconds / 86400) + u" d ago"_s;
}

/// The label's chosen provider has no figure in the snapshot: say so beside the one shown.
QString fallbackLine(const LabelBadges& badges)
{
    if (!badges.chosen || !badges.primary || badges.primary->provider == *badges.chosen)
        return {};
    return rawValue(*badges.chosen) + u": unable to load data"_s;
}

} // namespace

bool isSnapshotStale(qint64 ageSeconds)
{
    const qint64 pause = refreshTiming(Preferences::instance().refreshIntervalMinutes()).pause.count();
    if (ageSeconds > 2 * pause)
        return true;
    return ageSeconds > pause && !SingleInstance::isRunning();
}

int runStatus(const QStringList& args)
{
    enum class Format { Text, Json, Waybar } format = Format::Text;
    for (const QString& arg : args) {
        if (format == Format::Text && arg == u"--json")
            format = Format::Json;
        else if (format == Format::Text && arg == u"--waybar")
            format = Format::Waybar;
        else
            return usageError(u"status: unexpected argument '"_s + arg + u"' (use one of --json, --waybar)"_s);
    }

    QTextStream out(stdout);
    const auto read = readWidgetSnapshotFile();
    if (!read && !read.error().missing)
        QTextStream(stderr) << "tallyvue-cli: " << printableText(read.error().message) << '\n';
    const std::optional<WidgetSnapshot> snapshot = read ? std::optional(read.value()) : std::nullopt;
    if (!snapshot || snapshot->metrics.isEmpty()) {
        if (format == Format::Waybar) {
            // waybar hides a module whose command fails; keep it visible and say what to do.
            const QJsonObject empty{
                {u"text"_s, u"–"_s}, {u"tooltip"_s, u"Open Tallyvue to load usage"_s}, {u"class"_s, u"empty"_s}};
            out << QString::fromUtf8(QJsonDocument(empty).toJson(QJsonDocument::Compact)) << '\n';
            return 0;
        }
        // A JSON reader must never get plain text.
        if (format == Format::Json)
            out << R"({"error":"Open Tallyvue to load usage"})" << '\n';
        else
            out << "Open Tallyvue to load usage\n";
        return 1;
    }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const qint64 age = snapshot->timestamp.secsTo(now);
    const bool stale = isSnapshotStale(age);
    if (format == Format::Json) {
        // Printed from what was read, so the output is valid JSON whatever else the file held.
        QJsonObject json = QJsonDocument::fromJson(encodeWidgetSnapshot(*snapshot)).object();
        json.insert(u"updatedAt"_s, formatWholeSecondTimestamp(snapshot->timestamp));
        json.insert(u"ageSeconds"_s, age);
        json.insert(u"stale"_s, stale);
        out << QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)) << '\n';
        return 0;
    }

    const Preferences& preferences = Preferences::instance();
    const LabelBadges badges =
        selectBadges(snapshot->metrics, preferences.selectedMenuBadge(), preferences.secondaryMenuBadge());
    const QString text =
        oneLine(menuBarLabelText(badges, snapshot->displayMode, preferences.badgeShowsCountdown(), now));
    if (format == Format::Text) {
        out << text << (stale ? u"  ("_s + agoText(age) + u')' : QString()) << '\n';
        return 0;
    }

    QStringList tooltip;
    if (stale)
        tooltip.append(u"Updated "_s + agoText(age));
    if (const QString why = fallbackLine(badges); !why.isEmpty())
        tooltip.append(why);
    for (const ProviderMetric& metric : snapshot->metrics)
        tooltip.append(markupEscaped(oneLine(tooltipLine(metric, snapshot->displayMode, now))));
    const double used = highestShownUsed(badges);
    // waybar takes a list of classes, so a style sheet can dim stale figures and keep their level.
    const QJsonValue classes =
        stale ? QJsonValue(QJsonArray{levelClass(used), u"stale"_s}) : QJsonValue(levelClass(used));
    const QJsonObject waybar{{u"text"_s, markupEscaped(text)},
                             {u"tooltip"_s, tooltip.join(u'\n')},
                             {u"class"_s, classes},
                             {u"percentage"_s, static_cast<int>(std::min(used, 100.0))},
                             {u"updatedAt"_s, formatWholeSecondTimestamp(snapshot->timestamp)},
                             {u"ageSeconds"_s, age}};
    out << QString::fromUtf8(QJsonDocument(waybar).toJson(QJsonDocument::Compact)) << '\n';
    return 0;
}

} // namespace tallyvue::cli
