// SPDX-License-Identifier: MIT
#pragma once

#include "insights/Trends.h"

#include <QWidget>

namespace tallyvue {

/**
 * Each day's peak of a provider's two main windows as bars side by side, a red point at 100 on
 * days a limit was hit, and the header "Daily peak" with "limit hit on N of M days".
 */
class DailySummaryChart : public QWidget
{
    Q_OBJECT

public:
    DailySummaryChart(int days, int chartHeight, QWidget* parent = nullptr);

    void setData(const QList<UsageSnapshot>& history, AIProvider provider);
    const DailyChartData& data() const { return m_data; }
    /// The header's second part, empty when no day hit a limit.
    QString hitText() const { return Trends::hitLimitText(m_data); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    int headerHeight() const;

    int m_days;
    int m_chartHeight;
    DailyChartData m_data;
};

} // namespace tallyvue
