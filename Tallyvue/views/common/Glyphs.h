// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace tallyvue {

/// The application's bar glyph: four rounded bars on a 24-unit square scaled into `square`,
/// the last one at 55 % opacity.
void drawBarGlyph(QPainter& painter, const QRectF& square, const QColor& color);

/// The usage ring: a faint full circle in `primary` at 25 % and, from the top clockwise, an arc
/// of `fraction` (at least 0.02) in `level`. The line is 2.5/14 of the side.
void drawUsageRing(QPainter& painter, const QRectF& square, double fraction, const QColor& level,
                   const QColor& primary);

/// The ring's fraction for a shown percent: v / 100, at least 0.02, at most 1.
double ringFraction(double shownPercent);

} // namespace tallyvue
