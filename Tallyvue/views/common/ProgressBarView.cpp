// SPDX-License-Identifier: MIT
#include "views/common/ProgressBarView.h"

#include "model/Formatting.h"
#include "views/common/Style.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace tallyvue {

ProgressBarView::ProgressBarView(double used, QuotaDisplayMode mode, int height, QWidget* parent)
    : QWidget(parent), m_used(used), m_mode(mode), m_height(height), m_target(shownPercent(used, mode) / 100.0),
      m_shown(m_target)
{
    setFixedHeight(height);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_animation.setDuration(400);
    m_animation.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_shown = value.toDouble();
        update();
    });
}

void ProgressBarView::setUsage(double used, QuotaDisplayMode mode)
{
    m_used = used;
    m_mode = mode;
    const double target = shownPercent(used, mode) / 100.0;
    if (target == m_target) {
        update(); // the colour may still have changed
        return;
    }
    m_target = target;
    m_animation.stop();
    if (!isVisible()) {
        m_shown = target;
        update();
        return;
    }
    m_animation.setStartValue(m_shown);
    m_animation.setEndValue(target);
    m_animation.start();
}

qreal ProgressBarView::barWidth() const
{
    return std::max(0.0, m_target * width());
}

QColor ProgressBarView::barColor() const
{
    return style::usageColor(m_used, palette());
}

QSize ProgressBarView::sizeHint() const
{
    return {120, m_height};
}

QSize ProgressBarView::minimumSizeHint() const
{
    return {24, m_height};
}

void ProgressBarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = m_height / 2.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(style::textColor(style::Tone::Quaternary, palette()));
    painter.drawRoundedRect(QRectF(rect()), radius, radius);

    const qreal barWidth = std::max(0.0, m_shown * width());
    if (barWidth <= 0)
        return;
    const QColor color = barColor();
    QLinearGradient gradient(0, 0, width(), 0);
    gradient.setColorAt(0, color.lighter(125));
    gradient.setColorAt(1, color);
    painter.setBrush(gradient);
    // A bar shorter than its height is clipped from a full pill so its ends stay round.
    painter.setClipRect(QRectF(0, 0, barWidth, m_height));
    painter.drawRoundedRect(QRectF(0, 0, std::max<qreal>(barWidth, m_height), m_height), radius, radius);
}

} // namespace tallyvue
