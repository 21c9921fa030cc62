// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalOverviewModel.h"
#include "views/common/UsageState.h"
#include "views/common/Widgets.h"

#include <QList>
#include <QWidget>

#include <memory>
#include <optional>

class QGridLayout;

namespace tallyvue {

class SelectorBar;
class StackedBarChart;

/// Widgets in as many columns of at least `minColumnWidth` as fit, `spacing` apart.
class AdaptiveGrid : public QWidget
{
    Q_OBJECT

public:
    AdaptiveGrid(int minColumnWidth, int spacing, QWidget* parent = nullptr);
    void setWidgets(const QList<QWidget*>& widgets);
    int columns() const { return m_columns; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void arrange(bool force);
    int m_minColumnWidth;
    QGridLayout* m_grid;
    QList<QWidget*> m_widgets;
    int m_columns = 0;
};

/// The "Projects" tile and its kind: a card with a title, a value and a detail line.
class SummaryTile : public Card
{
    Q_OBJECT

public:
    explicit SummaryTile(QWidget* parent = nullptr);
    void setTile(const LocalSummaryTile& tile);
    const LocalSummaryTile& tile() const { return m_tile; }

private:
    LocalSummaryTile m_tile;
    TextLabel* m_title;
    TextLabel* m_value;
    TextLabel* m_detail;
};

/**
 * What this computer's transcripts say, for one provider or all: summary tiles, tokens per day
 * and the largest projects and models over the chosen range. The numbers are aggregated when a
 * new scan result, range or clock minute arrives, never while painting.
 */
class LocalOverviewView : public QWidget
{
    Q_OBJECT

public:
    enum class Content { NoLocalData, Empty, Data };

    LocalOverviewView(std::optional<AIProvider> provider, bool compact, QWidget* parent = nullptr);

    void setState(const UsageState& state);
    void setRange(LocalRange range);
    LocalRange range() const { return m_range; }
    Content content() const { return m_content; }
    const LocalOverviewData& data() const { return m_data; }
    /// How many times the events were aggregated (the benchmark and tests watch it).
    int aggregations() const { return m_aggregations; }
    SelectorBar* rangePicker() const { return m_picker; }

private:
    void refresh();
    void updateSubtitle();
    void showData();

    std::optional<AIProvider> m_provider;
    bool m_compact;
    LocalRange m_range = LocalRange::Week;
    Content m_content = Content::Empty;
    std::shared_ptr<const std::vector<LocalUsageEvent>> m_events;
    QDateTime m_clock;
    bool m_built = false;
    int m_aggregations = 0;
    LocalOverviewData m_data;

    TextLabel* m_subtitle;
    SelectorBar* m_picker;
    Card* m_message;
    TextLabel* m_messageTitle;
    TextLabel* m_messageText;
    QWidget* m_dataArea;
    AdaptiveGrid* m_tileGrid;
    QList<SummaryTile*> m_tiles;
    StackedBarChart* m_daily;
    StackedBarChart* m_projects;
    StackedBarChart* m_models;
    TextLabel* m_note;
};

/// The empty card's text for a provider, or for all when none ("Nothing recorded yet").
QString nothingRecordedText(std::optional<AIProvider> provider);

} // namespace tallyvue
