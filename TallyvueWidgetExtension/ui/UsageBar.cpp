// SPDX-License-Identifier: MIT
#include "ui/UsageBar.h"

#include "logic/WidgetContent.h"
#include "ui/WidgetStyle.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tallyvue::widget {

void UsageBar::paint(QPainter& painter, const QRectF& bounds, const WidgetStyle& style,
                     Qt::LayoutDirection direction) const
{
    if (bounds.width() <= 0)
        return;
    const QRectF track(bounds.left(), bounds.center().y() - kHeight / 2, bounds.width(), kHeight);
    QPainterPath trackShape;
    trackShape.addRoundedRect(track, kHeight / 2, kHeight / 2);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.fillPath(trackShape, style.quaternary);

    const double width = track.width() * barFraction(usedPercent, displayMode);
    if (width > 0) {
        QRectF fill = track;
        fill.setWidth(width);
        if (direction == Qt::RightToLeft)
            fill.moveRight(track.right());
        // Clip to the track so a nearly empty fill keeps the track's rounded end.
        QPainterPath fillShape;
        fillShape.addRoundedRect(fill, kHeight / 2, kHeight / 2);
        const QColor color = style.usage(usageColor(usedPercent));
        QLinearGradient gradient(fill.topLeft(), fill.topRight());
        gradient.setColorAt(direction == Qt::RightToLeft ? 1 : 0, color.lighter(118));
        gradient.setColorAt(direction == Qt::RightToLeft ? 0 : 1, color);
        painter.fillPath(fillShape.intersected(trackShape), gradient);
    }
    painter.restore();
}

} // namespace tallyvue::widget
