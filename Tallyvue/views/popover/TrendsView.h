// SPDX-License-Identifier: MIT
#pragma once

#include "history/HistoryStore.h"
#include "insights/Trends.h"

#include <QWidget>

namespace tallyvue {

class DailySummaryChart;
class RangePicker;
class UsageHistoryChart;

/**
 * A provider's trends in the popover: the "Usage Trends" card with the range picker and the
 * line chart, and the daily peak card. The range starts at 24h every time the view is made.
 */
class TrendsView : public QWidget
{
    Q_OBJECT

public:
    explicit TrendsView(AIProvider provider, QWidget* parent = nullptr);

    /// The full history; the view narrows it to the provider.
    void setHistory(const QList<UsageSnapshot>& history);
    AIProvider provider() const { return m_provider; }

    RangePicker* rangePicker() const { return m_picker; }
    UsageHistoryChart* historyChart() const { return m_chart; }
    DailySummaryChart* dailyChart() const { return m_daily; }

private:
    void redraw();

    AIProvider m_provider;
    bool m_drawn = false;
    QList<UsageSnapshot> m_history;
    RangePicker* m_picker;
    UsageHistoryChart* m_chart;
    DailySummaryChart* m_daily;
};

} // namespace tallyvue
