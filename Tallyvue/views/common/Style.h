// SPDX-License-Identifier: MIT
#pragma once

#include "insights/Presentation.h"
#include "model/AIProvider.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QString>

class QPainter;
class QRectF;

/**
 * The one place where the look is translated to our desktop: text styles, the colour scale,
 * symbols and logos. Every view takes its fonts and colours from here.
 */
namespace tallyvue::style {

enum class TextStyle { Body, Headline, Subheadline, Caption, Caption2, Title3, Title2, LargeTitle };
enum class Tone { Primary, Secondary, Tertiary, Quaternary };
enum class Accent { Green, Yellow, Red, Orange, Blue };

/// The system font resized for a text style; headline is semibold.
QFont font(TextStyle textStyle, QFont::Weight weight = QFont::Normal, bool monospacedDigits = false);

bool isDark(const QPalette& palette);
/// The palette's text colour at 100 / 72 / 62 / 20 % opacity; the last is for lines, not text.
QColor textColor(Tone tone, const QPalette& palette);
/// The one colour table of the popover, the tray and the charts (the widget keeps a copy):
/// on light backgrounds darker shades, so that text reaches 4.5:1 and bars 3:1 against them.
QColor accentColor(Accent accent, bool dark);
QColor accentColor(Accent accent, const QPalette& palette);
QColor levelColor(UsageLevel level, bool dark);
QColor levelColor(UsageLevel level, const QPalette& palette);
/// The colour of a used percent: green up to 50, yellow up to 80, red above.
QColor usageColor(double usedPercent, const QPalette& palette);
QColor captionColor(CaptionTone tone, const QPalette& palette);

/// The panel behind the popover and the translucent fill and edge of a card.
QColor panelColor(const QPalette& palette);
QColor cardFill(const QPalette& palette);
QColor cardEdge(const QPalette& palette);
QColor controlFill(const QPalette& palette, bool hovered, bool pressed);

/// The keyboard focus ring: the accent blue, which holds 3:1 against every background it sits on.
QColor focusRingColor(const QPalette& palette);
/// Draws the focus ring just inside `rect`, two pixels wide, following its corner radius.
void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, const QPalette& palette);

/// Draws a rounded card (corner radius 10) into `rect`.
void paintCard(QPainter& painter, const QRectF& rect, const QPalette& palette, qreal radius = 10);

/// A symbol ("arrow.clockwise", ...) drawn in one colour: from the icon theme when it offers a
/// one-colour version, else from the bundled set. A blank pixmap for an unknown name.
QPixmap symbol(const QString& name, int logicalSize, const QColor& color, qreal devicePixelRatio);
/// Whether a bundled drawing exists for the symbol name.
bool hasSymbol(const QString& name);
/// Theme icons are skipped when off (the gallery pins the bundled set for stable pictures).
void setUseThemeSymbols(bool on);

/// A provider's logo, square, at the given side.
QPixmap providerLogo(AIProvider provider, int logicalSize, qreal devicePixelRatio);
/// A bundled image by resource name ("LogoClaude", "MenuBarIcon", "AppIcon").
QPixmap namedImage(const QString& name, int logicalSize, qreal devicePixelRatio);
/// The application's icon at the usual sizes.
QIcon appIcon();

} // namespace tallyvue::style
