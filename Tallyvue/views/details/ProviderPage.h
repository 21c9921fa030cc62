// SPDX-License-Identifier: MIT
#pragma once

#include "insights/Trends.h"
#include "views/common/UsageState.h"

#include <QWidget>

#include <functional>

namespace tallyvue {

class Card;
class DailySummaryChart;
class GaugeGrid;
class RangePicker;
class SnapshotTable;
class TextLabel;
class UsageHistoryChart;

/// One provider's page of the details window: header, gauges, history card, daily peaks and the
/// snapshot table.
class ProviderPage : public QWidget
{
public:
    ProviderPage(AIProvider provider, TrendRange range, std::function<void(TrendRange)> rangeChanged,
                 QWidget* parent = nullptr);

    void setState(const UsageState& state, QuotaDisplayMode mode);
    SnapshotTable* table() const { return m_table; }

private:
    void redrawRange();

    AIProvider m_provider;
    QuotaDisplayMode m_mode = QuotaDisplayMode::Used;
    QList<UsageSnapshot> m_history;
    QStringList m_gaugeIds;
    TextLabel* m_name;
    TextLabel* m_plan;
    TextLabel* m_updated;
    TextLabel* m_notCurrent;
    QWidget* m_updatedRow;
    GaugeGrid* m_gauges;
    Card* m_unavailable;
    TextLabel* m_unavailableText;
    RangePicker* m_picker;
    UsageHistoryChart* m_chart;
    DailySummaryChart* m_daily;
    SnapshotTable* m_table;
};

} // namespace tallyvue
