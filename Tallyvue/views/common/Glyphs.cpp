// SPDX-License-Identifier: MIT
#include "views/common/Glyphs.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tallyvue {

void drawBarGlyph(QPainter& painter, const QRectF& square, const QColor& color)
{
    const qreal u = square.width() / 24.0;
    struct Bar
    {
        qreal y;
        qreal width;
        qreal opacity;
    };
    constexpr Bar kBars[] = {{4, 8, 1}, {9, 12, 1}, {14, 15, 1}, {19, 18, 0.55}};
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const Bar& bar : kBars) {
        QColor fill = color;
        fill.setAlphaF(float(color.alphaF() * bar.opacity));
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(square.left() + 3 * u, square.top() + bar.y * u, bar.width * u, 3.2 * u),
                                1.6 * u, 1.6 * u);
    }
    painter.restore();
}

double ringFraction(double shownPercent)
{
    const double value = std::isnan(shownPercent) ? 0.0 : std::clamp(shownPercent, 0.0, 100.0);
    return std::max(0.02, value / 100.0);
}

void drawUsageRing(QPainter& painter, const QRectF& square, double fraction, const QColor& level, const QColor& primary)
{
    const qreal side = std::min(square.width(), square.height());
    const qreal lineWidth = side * 2.5 / 14.0;
    const qreal radius = (side - lineWidth) / 2.0;
    const QPointF centre = square.center();
    const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    QColor track = primary;
    track.setAlphaF(float(primary.alphaF() * 0.25));
    painter.setPen(QPen(track, lineWidth));
    painter.drawEllipse(circle);
    painter.setPen(QPen(level, lineWidth, Qt::SolidLine, Qt::RoundCap));
    const double f = std::clamp(fraction, 0.02, 1.0);
    // Qt angles run counter-clockwise in 1/16 degree; negative spans go clockwise from the top.
    painter.drawArc(circle, 90 * 16, -int(std::lround(360.0 * f * 16)));
    painter.restore();
}

} // namespace tallyvue
