// SPDX-License-Identifier: MIT
#include "views/details/MetricGaugeCard.h"

#include "model/Formatting.h"
#include "views/common/MetricViews.h"
#include "views/common/Style.h"
#include "views/common/Widgets.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {
constexpr int kSide = 64;
constexpr qreal kStroke = 7;
} // namespace

UsageGauge::UsageGauge(QWidget* parent) : QWidget(parent)
{
    setFixedSize(kSide, kSide);
    m_animation.setDuration(400);
    m_animation.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_shown = value.toDouble();
        update();
    });
}

void UsageGauge::setUsage(double used, QuotaDisplayMode mode)
{
    m_used = used;
    m_text = percentText(used, mode);
    const double target = std::max(0.01, shownPercent(used, mode) / 100.0);
    if (target == m_target) {
        update();
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

QColor UsageGauge::arcColor() const
{
    return style::usageColor(m_used, palette());
}

void UsageGauge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ring = QRectF(rect()).adjusted(kStroke / 2, kStroke / 2, -kStroke / 2, -kStroke / 2);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(style::textColor(Tone::Quaternary, palette()), kStroke));
    painter.drawEllipse(ring);

    const QColor color = arcColor();
    QConicalGradient gradient(ring.center(), 90);
    gradient.setColorAt(0, color.lighter(130));
    gradient.setColorAt(1, color);
    QPen arc(QBrush(gradient), kStroke, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(arc);
    // From the top, clockwise (Qt's angles run counter-clockwise in 1/16 degree).
    painter.drawArc(ring, 90 * 16, -int(std::round(m_shown * 360 * 16)));

    QFont font = style::font(TextStyle::Body, QFont::Normal, true);
    font.setPointSizeF(font.pointSizeF() * 15.0 / 13.0);
    painter.setFont(font);
    painter.setPen(style::textColor(Tone::Primary, palette()));
    painter.drawText(rect(), Qt::AlignCenter, m_text);
}

MetricGaugeCard::MetricGaugeCard(const ProviderMetric& metric, const QList<UsageSnapshot>& history,
                                 QuotaDisplayMode mode, QWidget* parent)
    : QFrame(parent), m_gauge(new UsageGauge), m_title(new TextLabel({}, TextStyle::Headline)),
      m_countdown(new ResetCountdownText), m_caption(new MetricInsightCaption(metric, history, true))
{
    setMinimumWidth(250);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(14);
    layout->addWidget(m_gauge, 0, Qt::AlignVCenter);
    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    column->addStretch(1);
    column->addWidget(m_title);
    column->addWidget(m_countdown);
    column->addWidget(m_caption);
    column->addStretch(1);
    layout->addLayout(column, 1);
    setMetric(metric, history, mode);
}

void MetricGaugeCard::setMetric(const ProviderMetric& metric, const QList<UsageSnapshot>& history,
                                QuotaDisplayMode mode)
{
    m_metric = metric;
    m_gauge->setUsage(metric.percent, mode);
    m_title->setText(metric.title);
    m_countdown->setResetsAt(metric.resetsAt);
    m_caption->setMetric(metric, history);
    const QString shown = metric.percentText(mode);
    const QString name = rawValue(metric.provider) + u", "_s + metric.title + u", "_s + shown.chopped(1) +
                         (mode == QuotaDisplayMode::Used ? u" percent used"_s : u" percent remaining"_s);
    setAccessibleName(name);
    m_gauge->setAccessibleName(name);
}

void MetricGaugeCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    style::paintCard(painter, rect(), palette());
}

} // namespace tallyvue
