// SPDX-License-Identifier: MIT
#include "views/common/Style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

// The resources live in a static library: they must be registered by hand, once.
static void registerResources()
{
    Q_INIT_RESOURCE(tallyvue);
}

namespace tallyvue::style {

namespace {

struct SymbolSource
{
    QStringView themeName; ///< a freedesktop one-colour icon, or empty
    QStringView file;      ///< in the bundled set
};

const QHash<QString, SymbolSource>& symbolTable()
{
    static const QHash<QString, SymbolSource> table = {
        {u"arrow.clockwise"_s, {u"view-refresh-symbolic", u"arrow-clockwise"}},
        {u"arrow.counterclockwise"_s, {u"", u"arrow-counterclockwise"}},
        {u"arrow.up.right"_s, {u"", u"arrow-up-right"}},
        {u"arrow.right"_s, {u"", u"arrow-right"}},
        {u"arrow.down.right"_s, {u"", u"arrow-down-right"}},
        {u"arrow.up.left.and.arrow.down.right"_s, {u"view-fullscreen-symbolic", u"arrows-angle-expand"}},
        {u"clock"_s, {u"", u"clock"}},
        {u"calendar"_s, {u"", u"calendar"}},
        {u"gauge.with.dots.needle.bottom.50percent"_s, {u"", u"speedometer2"}},
        {u"exclamationmark.triangle"_s, {u"dialog-warning-symbolic", u"exclamation-triangle"}},
        {u"exclamationmark.triangle.fill"_s, {u"", u"exclamation-triangle-fill"}},
        {u"exclamationmark.octagon.fill"_s, {u"", u"exclamation-octagon-fill"}},
        {u"person.crop.circle.badge.exclamationmark"_s, {u"", u"person-exclamation"}},
        {u"creditcard"_s, {u"", u"credit-card"}},
        {u"creditcard.fill"_s, {u"", u"credit-card-fill"}},
        {u"square.grid.2x2"_s, {u"", u"grid"}},
        {u"square.stack.3d.up"_s, {u"", u"stack"}},
        {u"chart.bar.fill"_s, {u"", u"bar-chart-fill"}},
        {u"chart.xyaxis.line"_s, {u"", u"graph-up"}},
        {u"chart.line.uptrend.xyaxis"_s, {u"", u"graph-up-arrow"}},
        {u"ellipsis.circle"_s, {u"view-more-horizontal-symbolic", u"three-dots"}},
        {u"chevron.right"_s, {u"", u"chevron-right"}},
        {u"chevron.down"_s, {u"", u"chevron-down"}},
        {u"desktopcomputer"_s, {u"computer-symbolic", u"pc-display"}},
        {u"gearshape.fill"_s, {u"emblem-system-symbolic", u"gear-fill"}},
        {u"eye.slash"_s, {u"view-conceal-symbolic", u"eye-slash"}},
        {u"folder"_s, {u"folder-symbolic", u"folder"}},
        {u"cpu"_s, {u"", u"cpu"}},
        {u"bolt.circle.fill"_s, {u"", u"bolt-circle-fill"}},
        {u"dollarsign.circle.fill"_s, {u"", u"dollar-circle"}},
        {u"chart.bar.xaxis"_s, {u"", u"bar-chart-axis"}},
        {u"clock.arrow.circlepath"_s, {u"", u"clock-history"}},
        {u"number"_s, {u"", u"hash"}},
    };
    return table;
}

bool g_useTheme = true;

/// True when every visible pixel has about the same colour: a symbolic icon we may recolour.
bool isOneColour(const QImage& image)
{
    std::optional<QRgb> first;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) < 128)
                continue;
            if (!first) {
                first = pixel;
                continue;
            }
            if (std::abs(qRed(pixel) - qRed(*first)) + std::abs(qGreen(pixel) - qGreen(*first)) +
                    std::abs(qBlue(pixel) - qBlue(*first)) >
                60)
                return false;
        }
    }
    return first.has_value();
}

QImage renderSvg(const QString& path, QSize pixels)
{
    static const bool registered = (registerResources(), true);
    Q_UNUSED(registered);
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Keep the drawing's proportions inside the square.
    QSizeF size = renderer.defaultSize();
    size.scale(QSizeF(pixels), Qt::KeepAspectRatio);
    const QRectF target((pixels.width() - size.width()) / 2, (pixels.height() - size.height()) / 2, size.width(),
                        size.height());
    renderer.render(&painter, target);
    return image;
}

QImage themeSymbol(QStringView themeName, int pixels)
{
    if (!g_useTheme || themeName.isEmpty() || !QIcon::hasThemeIcon(themeName.toString()))
        return {};
    static QHash<QString, bool> usable;
    const QIcon icon = QIcon::fromTheme(themeName.toString());
    // Ask for device pixels at ratio 1: pixmap(QSize) alone scales by the application's ratio
    // again. A theme may also answer with a smaller size; centre that in the square.
    const QImage found =
        icon.pixmap(QSize(pixels, pixels), 1.0).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (!found.isNull()) {
        QPainter painter(&image);
        const QImage fitted = found.width() > pixels || found.height() > pixels
                                  ? found.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                                  : found;
        painter.drawImage(QPoint((pixels - fitted.width()) / 2, (pixels - fitted.height()) / 2), fitted);
    }
    const QString key = themeName.toString();
    if (!usable.contains(key))
        usable.insert(key, isOneColour(image));
    return usable.value(key) ? image : QImage();
}

QString resourcePath(QStringView folder, QStringView file)
{
    return u":/tallyvue/"_s + folder + u'/' + file + u".svg"_s;
}

} // namespace

QFont font(TextStyle textStyle, QFont::Weight weight, bool monospacedDigits)
{
    QFont result = QApplication::font();
    const qreal base = result.pointSizeF() > 0 ? result.pointSizeF() : 10;
    qreal size = base;
    switch (textStyle) {
    case TextStyle::Body: break;
    case TextStyle::Headline: weight = std::max(weight, QFont::DemiBold); break;
    case TextStyle::Subheadline: size = base - 1; break;
    case TextStyle::Caption: size = base - 2; break;
    case TextStyle::Caption2: size = std::max<qreal>(7, base - 2.5); break;
    case TextStyle::Title3: size = base + 2; break;
    case TextStyle::Title2: size = base + 4; break;
    case TextStyle::LargeTitle: size = base + 10; break;
    }
    result.setPointSizeF(size);
    result.setWeight(weight);
    if (monospacedDigits) {
        // Most UI fonts have tabular figures by default; when this one does not, take the fixed font.
        const QFontMetricsF metrics(result);
        const qreal zero = metrics.horizontalAdvance(u'0');
        const bool tabular = std::all_of(std::begin(u"123456789"), std::end(u"123456789") - 1, [&](char16_t digit) {
            return std::abs(metrics.horizontalAdvance(QChar(digit)) - zero) < 0.01;
        });
        if (!tabular) {
            QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            fixed.setPointSizeF(size);
            fixed.setWeight(weight);
            result = fixed;
        }
    }
    return result;
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor textColor(Tone tone, const QPalette& palette)
{
    QColor color = palette.color(QPalette::WindowText);
    switch (tone) {
    case Tone::Primary: break;
    // Secondary and tertiary carry text (resets, countdowns, axis labels): both keep 4.5:1.
    case Tone::Secondary: color.setAlphaF(0.72f); break;
    case Tone::Tertiary: color.setAlphaF(0.62f); break;
    case Tone::Quaternary: color.setAlphaF(0.2f); break;
    }
    return color;
}

QColor accentColor(Accent accent, bool dark)
{
    switch (accent) {
    case Accent::Green: return dark ? QColor(0x34C759) : QColor(0x178038);
    case Accent::Yellow: return dark ? QColor(0xFFCC00) : QColor(0x8A6000);
    case Accent::Red: return dark ? QColor(0xFF6961) : QColor(0xD70015);
    case Accent::Orange: return dark ? QColor(0xFF9500) : QColor(0xB25000);
    case Accent::Blue: return dark ? QColor(0x409CFF) : QColor(0x0064D2);
    }
    return dark ? QColor(Qt::white) : QColor(Qt::black);
}

QColor accentColor(Accent accent, const QPalette& palette)
{
    return accentColor(accent, isDark(palette));
}

QColor levelColor(UsageLevel level, bool dark)
{
    switch (level) {
    case UsageLevel::Green: return accentColor(Accent::Green, dark);
    case UsageLevel::Yellow: return accentColor(Accent::Yellow, dark);
    case UsageLevel::Red: return accentColor(Accent::Red, dark);
    }
    return accentColor(Accent::Green, dark);
}

QColor levelColor(UsageLevel level, const QPalette& palette)
{
    return levelColor(level, isDark(palette));
}

QColor usageColor(double usedPercent, const QPalette& palette)
{
    return levelColor(usageLevel(usedPercent), palette);
}

QColor captionColor(CaptionTone tone, const QPalette& palette)
{
    switch (tone) {
    case CaptionTone::Secondary: return textColor(Tone::Secondary, palette);
    case CaptionTone::Tertiary: return textColor(Tone::Tertiary, palette);
    case CaptionTone::Red: return accentColor(Accent::Red, palette);
    }
    return textColor(Tone::Secondary, palette);
}

QColor panelColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(30, 30, 33, 248) : QColor(246, 246, 248, 250);
}

QColor cardFill(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 255, 255, 14) : QColor(255, 255, 255, 215);
}

QColor cardEdge(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 255, 255, 22) : QColor(0, 0, 0, 18);
}

QColor focusRingColor(const QPalette& palette)
{
    return accentColor(Accent::Blue, palette);
}

void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, const QPalette& palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(focusRingColor(palette), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), std::max(0.0, radius - 1), std::max(0.0, radius - 1));
    painter.restore();
}

QColor controlFill(const QPalette& palette, bool hovered, bool pressed)
{
    const bool dark = isDark(palette);
    const int alpha = pressed ? (dark ? 56 : 34) : hovered ? (dark ? 40 : 24) : (dark ? 24 : 14);
    return dark ? QColor(255, 255, 255, alpha) : QColor(0, 0, 0, alpha);
}

void paintCard(QPainter& painter, const QRectF& rect, const QPalette& palette, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(cardEdge(palette), 1));
    painter.setBrush(cardFill(palette));
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.restore();
}

bool hasSymbol(const QString& name)
{
    return symbolTable().contains(name);
}

void setUseThemeSymbols(bool on)
{
    g_useTheme = on;
}

QPixmap symbol(const QString& name, int logicalSize, const QColor& color, qreal devicePixelRatio)
{
    const int pixels = std::max(1, int(std::lround(logicalSize * devicePixelRatio)));
    QImage image;
    if (const auto it = symbolTable().constFind(name); it != symbolTable().constEnd()) {
        image = themeSymbol(it->themeName, pixels);
        if (image.isNull())
            image = renderSvg(resourcePath(u"symbols", it->file), QSize(pixels, pixels));
    }
    if (image.isNull()) {
        image = QImage(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    } else {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon appIcon()
{
    QIcon icon;
    for (int side : {16, 22, 32, 48, 64, 128, 256})
        icon.addPixmap(namedImage(u"AppIcon"_s, side, 1.0));
    return icon;
}

QPixmap providerLogo(AIProvider provider, int logicalSize, qreal devicePixelRatio)
{
    return namedImage(logoName(provider), logicalSize, devicePixelRatio);
}

QPixmap namedImage(const QString& name, int logicalSize, qreal devicePixelRatio)
{
    const int pixels = std::max(1, int(std::lround(logicalSize * devicePixelRatio)));
    QPixmap pixmap = QPixmap::fromImage(renderSvg(resourcePath(u"images", name), QSize(pixels, pixels)));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace tallyvue::style
