// SPDX-License-Identifier: MIT
#include "views/popover/TrendsView.h"

#include "views/charts/DailySummaryChart.h"
#include "views/charts/RangePicker.h"
#include "views/charts/UsageHistoryChart.h"
#include "views/common/MetricViews.h"
#include "views/common/Widgets.h"

#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

TrendsView::TrendsView(AIProvider provider, QWidget* parent)
    : QWidget(parent), m_provider(provider), m_picker(new RangePicker), m_chart(new UsageHistoryChart(180)),
      m_daily(new DailySummaryChart(7, 140))
{
    setAccessibleName(rawValue(provider) + u" usage trends"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    auto* trends = new Card(8);
    auto* symbol = new SymbolLabel(u"chart.xyaxis.line"_s, symbolSize(TextStyle::Headline));
    auto* title = new TextLabel(u"Usage Trends"_s, TextStyle::Headline);
    auto* name = new TextLabel(rawValue(provider), TextStyle::Caption, TextColor::of(Tone::Tertiary));
    trends->body()->addWidget(hbox({symbol, title, name, nullptr}, 6));
    trends->body()->addWidget(m_picker);
    trends->body()->addWidget(m_chart);
    layout->addWidget(trends);

    auto* daily = new Card(8);
    daily->body()->addWidget(m_daily);
    layout->addWidget(daily);

    connect(m_picker, &RangePicker::rangeChanged, this,
            [this] { m_chart->setData(m_history, m_picker->range(), m_provider); });
}

void TrendsView::setHistory(const QList<UsageSnapshot>& history)
{
    // The clock's tick republishes the same list; only new history is worth a redraw.
    if (m_drawn && history == m_history)
        return;
    m_drawn = true;
    m_history = history;
    redraw();
}

void TrendsView::redraw()
{
    m_chart->setData(m_history, m_picker->range(), m_provider);
    m_daily->setData(m_history, m_provider);
}

} // namespace tallyvue
