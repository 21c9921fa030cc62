// SPDX-License-Identifier: MIT
#include "ui/UsageRing.h"

#include "logic/WidgetContent.h"
#include "ui/WidgetStyle.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace tallyvue::widget {

void UsageRing::paint(QPainter& painter, const QRectF& bounds, const WidgetStyle& style) const
{
    const double side = std::min(bounds.width(), bounds.height());
    if (side <= lineWidth)
        return;
    QRectF square(0, 0, side, side);
    square.moveCenter(bounds.center());
    const QRectF circle = square.adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(style.quaternary, lineWidth));
    painter.drawEllipse(circle);

    const QColor color = style.usage(usageColor(usedPercent));
    QLinearGradient gradient(square.topLeft(), square.bottomLeft());
    gradient.setColorAt(0, color.lighter(118));
    gradient.setColorAt(1, color.darker(106));
    painter.setPen(QPen(QBrush(gradient), lineWidth, Qt::SolidLine, Qt::RoundCap));
    // Qt counts angles in 1/16 degree, anticlockwise from three o'clock.
    const int span = -qRound(ringFraction(usedPercent, displayMode) * 360 * 16);
    painter.drawArc(circle, 90 * 16, span);
    painter.restore();
}

} // namespace tallyvue::widget
