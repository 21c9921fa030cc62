// SPDX-License-Identifier: MIT
#include "ui/SmallUsageView.h"

#include "ui/UsageRing.h"
#include "ui/WidgetStyle.h"

#include <QFontMetricsF>
#include <QPainter>

namespace tallyvue::widget {

namespace {

constexpr double kPadding = 14;
constexpr double kSpacing = 6;
constexpr double kRingLineWidth = 8;

} // namespace

SmallUsageView::SmallUsageView(QWidget* parent) : QWidget(parent)
{
}

void SmallUsageView::setSnapshot(const WidgetSnapshot& snapshot, const QDateTime& now)
{
    m_content = smallContent(snapshot, now);
    m_metric = primaryMetric(snapshot);
    // What it draws, read as one text: "Claude · 5-Hour, 42%, Resets in 2h".
    QString spoken;
    if (m_content) {
        spoken = m_content->caption + QStringLiteral(", ") + m_content->percentText;
        if (m_content->resetText)
            spoken += QStringLiteral(", ") + *m_content->resetText;
    }
    setAccessibleName(spoken);
    m_mode = snapshot.displayMode;
    update();
}

void SmallUsageView::paintEvent(QPaintEvent*)
{
    if (!m_content || !m_metric)
        return;
    const WidgetStyle style = WidgetStyle::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area = QRectF(rect()).adjusted(kPadding, kPadding, -kPadding, -kPadding);

    QFont captionFont = style.caption2;
    captionFont.setWeight(QFont::Medium);
    const double captionHeight = lineHeight(captionFont);
    const double resetHeight = m_content->resetText ? lineHeight(style.caption2) : 0;
    const double below = kSpacing + captionHeight + (m_content->resetText ? kSpacing + resetHeight : 0);

    const QRectF ringArea(area.left(), area.top(), area.width(), area.height() - below);
    const UsageRing ring{m_metric->percent, m_mode, kRingLineWidth};
    ring.paint(painter, ringArea, style);

    // The percent sits in the ring's hole; shrink it for the rare text that would touch the stroke.
    QFont percentFont = withEqualWidthDigits(style.title3);
    percentFont.setWeight(QFont::DemiBold);
    const double hole = std::min(ringArea.width(), ringArea.height()) - 2 * kRingLineWidth - 8;
    const double textWidth = QFontMetricsF(percentFont).horizontalAdvance(m_content->percentText);
    if (hole > 0 && textWidth > hole)
        percentFont.setPointSizeF(std::max(7.0, percentFont.pointSizeF() * hole / textWidth));
    drawTextLine(painter, ringArea, m_content->percentText, percentFont, style.primary, Qt::AlignCenter);

    double y = ringArea.bottom() + kSpacing;
    drawTextLine(painter, QRectF(area.left(), y, area.width(), captionHeight), m_content->caption, captionFont,
                 style.primary, Qt::AlignHCenter | Qt::AlignVCenter);
    y += captionHeight + kSpacing;
    if (m_content->resetText)
        drawTextLine(painter, QRectF(area.left(), y, area.width(), resetHeight), *m_content->resetText, style.caption2,
                     style.secondary, Qt::AlignHCenter | Qt::AlignVCenter);
}

} // namespace tallyvue::widget
