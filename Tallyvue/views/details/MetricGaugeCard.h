// SPDX-License-Identifier: MIT
#pragma once

#include "history/HistoryStore.h"
#include "model/ProviderMetric.h"

#include <QFrame>
#include <QVariantAnimation>

namespace tallyvue {

class MetricInsightCaption;
class ResetCountdownText;
class TextLabel;

/// The 64 × 64 ring of a metric: a faint track and an arc in the usage colour, the percent inside.
class UsageGauge : public QWidget
{
    Q_OBJECT

public:
    explicit UsageGauge(QWidget* parent = nullptr);

    void setUsage(double used, QuotaDisplayMode mode);
    /// The share of the circle the arc heads to (at least 0.01).
    double targetFraction() const { return m_target; }
    QString text() const { return m_text; }
    QColor arcColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_used = 0;
    double m_target = 0.01;
    double m_shown = 0.01;
    QString m_text;
    QVariantAnimation m_animation;
};

/// One limit window in the details window: the gauge and beside it title, countdown and insight.
class MetricGaugeCard : public QFrame
{
    Q_OBJECT

public:
    MetricGaugeCard(const ProviderMetric& metric, const QList<UsageSnapshot>& history, QuotaDisplayMode mode,
                    QWidget* parent = nullptr);

    void setMetric(const ProviderMetric& metric, const QList<UsageSnapshot>& history, QuotaDisplayMode mode);
    const ProviderMetric& metric() const { return m_metric; }
    using QWidget::metric; // the paint-device overload stays reachable
    UsageGauge* gauge() const { return m_gauge; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ProviderMetric m_metric;
    UsageGauge* m_gauge;
    TextLabel* m_title;
    ResetCountdownText* m_countdown;
    MetricInsightCaption* m_caption;
};

} // namespace tallyvue
