// SPDX-License-Identifier: MIT
#include "ui/WidgetStyle.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QWidget>
#include <QtMath>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyvue::widget {

namespace {

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

QFont sized(const QFont& base, double delta, QFont::Weight weight = QFont::Normal)
{
    QFont font = base;
    const double size = base.pointSizeF() > 0 ? base.pointSizeF() : 10.0;
    font.setPointSizeF(std::max(7.0, size + delta));
    font.setWeight(weight);
    return font;
}

} // namespace

QFont withEqualWidthDigits(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(u'0');
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (!qFuzzyCompare(metrics.horizontalAdvance(QChar(digit)), width)) {
            QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            fixed.setPointSizeF(font.pointSizeF());
            fixed.setWeight(font.weight());
            return fixed;
        }
    }
    return font;
}

Appearance appearanceOf(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5 ? Appearance::Dark : Appearance::Light;
}

QPalette widgetPalette(Appearance appearance)
{
    const bool dark = appearance == Appearance::Dark;
    const QColor window = dark ? QColor(0x1F, 0x1F, 0x22) : QColor(0xF7, 0xF7, 0xF8);
    const QColor text = dark ? QColor(0xF2, 0xF2, 0xF5) : QColor(0x1D, 0x1D, 0x20);
    QPalette palette(text, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Base, dark ? QColor(0x2A, 0x2A, 0x2E) : QColor(Qt::white));
    return palette;
}

WidgetStyle WidgetStyle::of(const QWidget* widget)
{
    return from(widget->palette(), widget->font());
}

WidgetStyle WidgetStyle::from(const QPalette& palette, const QFont& base)
{
    WidgetStyle style;
    style.appearance = appearanceOf(palette);
    const QColor text = palette.color(QPalette::WindowText);
    style.primary = text;
    // Dates and captions are text: 4.5:1 against the widget, as in the app's colour table.
    style.secondary = withAlpha(text, 0.72);
    style.tertiary = withAlpha(text, 0.65);
    style.quaternary = withAlpha(text, 0.2);
    style.card = palette.color(QPalette::Window);
    style.cardEdge = withAlpha(text, style.appearance == Appearance::Dark ? 0.14 : 0.09);

    style.caption = sized(base, -2);
    style.caption2 = sized(base, -2.5);
    style.title2 = sized(base, 4);
    style.title3 = sized(base, 2);
    style.caption2Digits = withEqualWidthDigits(style.caption2);
    style.monospaced2 = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    style.monospaced2.setPointSizeF(style.caption2.pointSizeF());
    return style;
}

void drawTextLine(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font, const QColor& color,
                  Qt::Alignment alignment)
{
    const QFontMetricsF metrics(font);
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, int(alignment | Qt::TextSingleLine), metrics.elidedText(text, Qt::ElideRight, rect.width()));
    painter.restore();
}

void drawGaugeSymbol(QPainter& painter, const QRectF& rect, const QColor& color)
{
    static QSvgRenderer renderer(u":/tallyvue-widget/gauge.svg"_s);
    const double side = std::min(rect.width(), rect.height());
    // Device pixels per logical pixel, also when drawing into a scaled picture.
    const double scale = painter.deviceTransform().mapRect(QRectF(0, 0, 1, 1)).width();
    const int pixels = qCeil(side * scale);
    if (pixels <= 0)
        return;
    // Draw the black symbol, then paint the colour through its shape.
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter tint(&image);
        tint.setRenderHint(QPainter::Antialiasing);
        renderer.render(&tint, QRectF(0, 0, pixels, pixels));
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(image.rect(), color);
    }
    image.setDevicePixelRatio(scale);
    QRectF target(0, 0, side, side);
    target.moveCenter(rect.center());
    painter.drawImage(target, image);
}

double lineHeight(const QFont& font)
{
    return QFontMetricsF(font).height();
}

} // namespace tallyvue::widget
