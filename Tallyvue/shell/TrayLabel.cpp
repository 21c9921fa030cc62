// SPDX-License-Identifier: MIT
#include "shell/TrayLabel.h"

#include "model/Formatting.h"
#include "views/Glyphs.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {

TrayLabelSettings TrayLabelSettings::fromPreferences()
{
    const Preferences& preferences = Preferences::instance();
    return {preferences.selectedMenuBadge(), preferences.secondaryMenuBadge(),  preferences.menuBarStyle(),
            preferences.menuBarMonochrome(), preferences.badgeShowsCountdown(), preferences.quotaDisplayMode()};
}

bool TrayLabelSettings::concerns(QStringView key)
{
    return key == u"selectedMenuBadge" || key == u"secondaryMenuBadge" || key == u"menuBarStyle" ||
           key == u"menuBarMonochrome" || key == u"badgeShowsCountdown" || key == u"quotaDisplayMode";
}

TrayLabel makeTrayLabel(const QList<ProviderMetric>& metrics, const TrayLabelSettings& settings, const QDateTime& now)
{
    TrayLabel label;
    const LabelBadges badges = selectBadges(metrics, settings.selectedBadge, settings.secondaryBadge);
    if (!badges.primary) {
        label.toolTip = u"Tallyvue"_s;
        return label;
    }
    const ProviderMetric& primary = *badges.primary;
    if (!settings.monochrome)
        label.level = usageLevel(primary.percent);
    if (settings.style == MenuBarStyle::Ring) {
        label.image = TrayLabel::Image::Ring;
        label.ringFraction = ringFraction(shownPercent(primary.percent, settings.mode));
    }
    label.toolTip = menuBarLabelText(badges, settings.mode, settings.showsCountdown, now);
    if (settings.style != MenuBarStyle::IconOnly)
        label.text = label.toolTip;
    return label;
}

QColor trayLevelColor(UsageLevel level)
{
    switch (level) {
    case UsageLevel::Green: return QColor(0x34C759);
    case UsageLevel::Yellow: return QColor(0xFFCC00);
    case UsageLevel::Red: return QColor(0xFF3B30);
    }
    return QColor(0x34C759);
}

QImage renderTrayImage(const TrayLabel& label, int side, qreal devicePixelRatio, const QColor& primary)
{
    const int pixels = std::max(1, int(std::lround(side * devicePixelRatio)));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);
    QPainter painter(&image);
    const qreal unit = side / 16.0;
    const QColor color = label.level ? trayLevelColor(*label.level) : primary;
    if (label.image == TrayLabel::Image::Ring) {
        const qreal ring = 14 * unit;
        drawUsageRing(painter, QRectF((side - ring) / 2, (side - ring) / 2, ring, ring), label.ringFraction, color,
                      primary);
    } else {
        const qreal glyph = 15 * unit;
        drawBarGlyph(painter, QRectF((side - glyph) / 2, (side - glyph) / 2, glyph, glyph), color);
    }
    return image;
}

QColor trayForeground()
{
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper();
    for (QStringView darkBar : {u"GNOME", u"UNITY", u"PANTHEON", u"BUDGIE"}) {
        if (desktop.contains(darkBar))
            return QColor(0xF2F2F2);
    }
    return QGuiApplication::palette().color(QPalette::WindowText);
}

} // namespace tallyvue
