// SPDX-License-Identifier: MIT
#pragma once

#include "model/ProviderMetric.h"

#include <QVariantAnimation>
#include <QWidget>

namespace tallyvue {

/// The usage bar: a faint track and a bar in the usage colour of the used percent, as long as
/// the percent shown in the display mode. Length changes glide over 0.4 s.
class ProgressBarView : public QWidget
{
    Q_OBJECT

public:
    ProgressBarView(double used, QuotaDisplayMode mode, int height, QWidget* parent = nullptr);

    void setUsage(double used, QuotaDisplayMode mode);
    double used() const { return m_used; }
    QuotaDisplayMode mode() const { return m_mode; }
    /// The bar's share of the track that it is heading to, 0...1.
    double targetFraction() const { return m_target; }
    /// The bar's width in the current track width, where the animation will end.
    qreal barWidth() const;
    QColor barColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_used;
    QuotaDisplayMode m_mode;
    int m_height;
    double m_target;
    double m_shown;
    QVariantAnimation m_animation;
};

} // namespace tallyvue
