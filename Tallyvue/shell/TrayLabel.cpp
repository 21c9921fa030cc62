// SPDX-License-Identifier: MIT
#include "shell/TrayLabel.h"

#include "model/Formatting.h"
#include "views/common/Glyphs.h"
#include "views/common/Style.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <algorithm>
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

QString trayProblemText(const std::optional<ProviderNotice>& notice)
{
    switch (notice ? notice->kind : ProviderNotice::Kind::Failed) {
    case ProviderNotice::Kind::Failed: break;
    case ProviderNotice::Kind::NotSignedIn: return u"not signed in"_s;
    case ProviderNotice::Kind::Expired: return u"sign-in has expired"_s;
    case ProviderNotice::Kind::RateLimited: return u"rate limited, next try at "_s + clockTimeText(*notice->nextTry);
    }
    return u"unable to load data"_s;
}

TrayLabel makeTrayLabel(const QList<ProviderMetric>& metrics, const TrayLabelSettings& settings, const QDateTime& now,
                        const TrayLabelNotes& notes)
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
    const QString text = menuBarLabelText(badges, settings.mode, settings.showsCountdown, now);
    label.digits = percentText(primary.percent, settings.mode).chopped(1);
    if (settings.style != MenuBarStyle::IconOnly)
        label.text = text;
    label.toolTip = text;
    for (const auto& [provider, asOf] : notes.stale) {
        if (provider != primary.provider && !(badges.secondary && badges.secondary->provider == provider))
            continue;
        label.stale = label.stale || provider == primary.provider;
        label.toolTip += u'\n' + rawValue(provider) + u": last values, as of "_s + clockTimeText(asOf);
    }
    for (const auto& [provider, note] : notes.sources) {
        if (provider == primary.provider || (badges.secondary && badges.secondary->provider == provider))
            label.toolTip += u'\n' + rawValue(provider) + u": "_s + note;
    }
    if (badges.chosen && *badges.chosen != primary.provider) {
        for (const auto& [provider, why] : notes.problems) {
            if (provider == *badges.chosen)
                label.toolTip += u'\n' + rawValue(provider) + u": "_s + why;
        }
    }
    return label;
}

QColor trayLevelColor(UsageLevel level, const QColor& primary)
{
    return style::levelColor(level, primary.lightnessF() > 0.5);
}

QImage renderTrayImage(const TrayLabel& label, int side, qreal devicePixelRatio, const QColor& primary)
{
    const int pixels = std::max(1, int(std::lround(side * devicePixelRatio)));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);
    QPainter painter(&image);
    if (label.stale)
        painter.setOpacity(0.45);
    const qreal unit = side / 16.0;
    const QColor color = label.level ? trayLevelColor(*label.level, primary) : primary;
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

QImage renderPercentIcon(const TrayLabel& label, int side, qreal devicePixelRatio, const QColor& primary)
{
    const int pixels = std::max(1, int(std::lround(side * devicePixelRatio)));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    // The panel's colour is only a guess (XFCE's dark panel beside a light palette, say), so
    // everything sits on an opaque plate of the guessed shade: a wrong guess costs looks, not
    // legibility. Ink and level colours are the ones for text on that plate.
    const bool darkPlate = primary.lightnessF() > 0.5;
    const QColor plate = darkPlate ? QColor(0x1C1C1E) : QColor(0xFCFCFC);
    const QColor ink = darkPlate ? QColor(0xF2F2F2) : QColor(0x1D1D1F);
    const QColor color = label.level ? style::levelColor(*label.level, darkPlate) : ink;
    QColor track = ink;
    track.setAlphaF(0.3f);
    const bool ring = label.image == TrayLabel::Image::Ring && pixels >= 30 && !label.digits.isEmpty();
    // Sizes are worked out in device pixels: legibility depends on them, not on the scale.
    const qreal pad = std::max(1.0, std::round(pixels * 0.06));
    painter.setBrush(plate);
    if (ring) {
        painter.drawEllipse(QRectF(0, 0, pixels, pixels));
    } else {
        const qreal radius = std::max(2.0, pixels * 0.18);
        painter.drawRoundedRect(QRectF(0, 0, pixels, pixels), radius, radius);
    }
    if (label.stale)
        painter.setOpacity(0.45); // the plate stays, so the dimmed figure still reads
    if (label.digits.isEmpty()) {
        // No data yet: the plain glyph, on the plate all the same.
        drawBarGlyph(painter, QRectF(pad, pad, pixels - 2 * pad, pixels - 2 * pad), color);
        painter.end();
        image.setDevicePixelRatio(devicePixelRatio);
        return image;
    }
    const double fraction = std::clamp(label.digits.toDouble() / 100.0, 0.0, 1.0);

    QRectF textBox;
    if (ring) {
        // Large enough for the ring around the digits.
        const qreal diameter = pixels * 14.0 / 16.0;
        const QRectF square((pixels - diameter) / 2, (pixels - diameter) / 2, diameter, diameter);
        drawUsageRing(painter, square, ringFraction(fraction * 100), color, ink);
        const qreal inner = diameter - 2 * diameter * 2.5 / 14.0;
        textBox = QRectF(0, 0, inner * 0.92, inner * 0.62);
        textBox.moveCenter(square.center());
    } else {
        // The digits on top, a short usage bar below them (the glyph's bars, reduced to one).
        const qreal barHeight = std::max(2.0, std::round(pixels * 0.12));
        const qreal gap = std::max(1.0, std::round(pixels * 0.05));
        const QRectF bar(pad + 1, pixels - pad - barHeight, pixels - 2 * pad - 2, barHeight);
        const qreal radius = barHeight / 2;
        painter.setBrush(track);
        painter.drawRoundedRect(bar, radius, radius);
        if (fraction > 0) {
            painter.setBrush(color);
            painter.drawRoundedRect(
                QRectF(bar.topLeft(), QSizeF(std::max(barHeight, bar.width() * fraction), barHeight)), radius, radius);
        }
        // The digits may come closer to the sides than to the top: width is what bounds them.
        const qreal margin = std::max(0.5, pixels * 0.03);
        textBox = QRectF(margin, pad, pixels - 2 * margin, bar.top() - gap - pad);
    }

    // Bold digits as large as the box allows: the glyph outlines are measured, so the digits
    // fill the box whatever the font's own spacing.
    QFont font = QGuiApplication::font();
    font.setWeight(QFont::Bold);
    font.setPixelSize(100);
    QPainterPath path;
    path.addText(0, 0, font, label.digits);
    const QRectF bounds = path.boundingRect();
    const qreal scale = std::min(textBox.width() / bounds.width(), textBox.height() / bounds.height());
    QTransform transform;
    transform.translate(textBox.center().x(), textBox.center().y());
    transform.scale(scale, scale);
    transform.translate(-bounds.center().x(), -bounds.center().y());
    painter.setBrush(color);
    painter.drawPath(transform.map(path));
    painter.end();
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

QColor trayForeground()
{
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper();
    // Cinnamon's default panel is #555555 whatever the palette says.
    for (QStringView darkBar : {u"GNOME", u"UNITY", u"PANTHEON", u"BUDGIE", u"CINNAMON"}) {
        if (desktop.contains(darkBar))
            return QColor(0xF2F2F2);
    }
    return QGuiApplication::palette().color(QPalette::WindowText);
}

} // namespace tallyvue
