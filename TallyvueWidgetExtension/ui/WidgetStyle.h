// SPDX-License-Identifier: MIT
#pragma once

// The look of the widget in one place: named text sizes, text tones and the card, all taken
// from the widget's palette and font so light, dark and the user's own theme carry through.

#include "logic/UsageText.h"

#include <QColor>
#include <QFont>
#include <QPalette>

class QPainter;
class QRectF;
class QWidget;

namespace tallyvue::widget {

struct WidgetStyle
{
    Appearance appearance = Appearance::Light;
    QColor primary;    ///< the palette's text colour
    QColor secondary;  ///< at 60 %
    QColor tertiary;   ///< at 40 %
    QColor quaternary; ///< at 20 %: tracks of rings and bars
    QColor card;       ///< the widget's background
    QColor cardEdge;   ///< a hairline that keeps the card apart from a wallpaper of its own colour

    QFont caption;        ///< base − 2 pt
    QFont caption2;       ///< base − 2.5 pt, never below 7 pt
    QFont title2;         ///< base + 4 pt
    QFont title3;         ///< base + 2 pt
    QFont monospaced2;    ///< caption 2 in the fixed font
    QFont caption2Digits; ///< caption 2 with digits of equal width

    /// The style of a widget from its palette and font.
    static WidgetStyle of(const QWidget* widget);
    static WidgetStyle from(const QPalette& palette, const QFont& base);

    QColor usage(UsageColor color) const { return colorValue(color, appearance); }
};

/// Light or dark, from the lightness of the palette's window colour.
Appearance appearanceOf(const QPalette& palette);
/// The widget's own light and dark palettes, for a forced theme and for pictures.
QPalette widgetPalette(Appearance appearance);

/// The font itself when its digits are all one width, else the fixed font at its size and weight.
QFont withEqualWidthDigits(const QFont& font);

/// One line of text in `rect`, elided at the end when it does not fit.
void drawTextLine(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font, const QColor& color,
                  Qt::Alignment alignment);
/// The gauge symbol, tinted, in the largest square centred in `rect`.
void drawGaugeSymbol(QPainter& painter, const QRectF& rect, const QColor& color);
/// Height of one line of `font`.
double lineHeight(const QFont& font);

} // namespace tallyvue::widget
