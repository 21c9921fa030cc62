// SPDX-License-Identifier: MIT
#include "cli/Commands.h"
#include "model/Formatting.h"
#include "model/MenuBarLabelText.h"
#include "model/Preferences.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QFile>
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

QString tooltipLine(const ProviderMetric& metric, QuotaDisplayMode mode, const QDateTime& now)
{
    QString line = rawValue(metric.provider) + u' ' + metric.title + u": "_s + metric.percentText(mode);
    if (metric.resetsAt) {
        const double seconds = now.msecsTo(*metric.resetsAt) / 1000.0;
        line += seconds <= 0 ? u", resets soon"_s : u", resets in "_s + durationText(seconds);
    }
    return line;
}

} // namespace

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
    QByteArray bytes;
    if (const auto path = widgetSnapshotPath()) {
        QFile file(*path);
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
    }
    const auto snapshot = decodeWidgetSnapshot(bytes);
    if (!snapshot || snapshot->metrics.isEmpty()) {
        out << "Open Tallyvue to load usage\n";
        return 1;
    }
    if (format == Format::Json) {
        out << QString::fromUtf8(bytes).trimmed() << '\n';
        return 0;
    }

    const Preferences& preferences = Preferences::instance();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const LabelBadges badges =
        selectBadges(snapshot->metrics, preferences.selectedMenuBadge(), preferences.secondaryMenuBadge());
    const QString text = menuBarLabelText(badges, snapshot->displayMode, preferences.badgeShowsCountdown(), now);
    if (format == Format::Text) {
        out << text << '\n';
        return 0;
    }

    QStringList tooltip;
    for (const ProviderMetric& metric : snapshot->metrics)
        tooltip.append(tooltipLine(metric, snapshot->displayMode, now));
    const double used = std::isnan(badges.primary->percent) ? 0.0 : std::clamp(badges.primary->percent, 0.0, 100.0);
    const QJsonObject waybar{{u"text"_s, text},
                             {u"tooltip"_s, tooltip.join(u'\n')},
                             {u"class"_s, levelClass(badges.primary->percent)},
                             {u"percentage"_s, static_cast<int>(used)}};
    out << QString::fromUtf8(QJsonDocument(waybar).toJson(QJsonDocument::Compact)) << '\n';
    return 0;
}

} // namespace tallyvue::cli
