// SPDX-License-Identifier: MIT
#include "views/details/ProviderPage.h"

#include "views/charts/DailySummaryChart.h"
#include "views/charts/RangePicker.h"
#include "views/charts/UsageHistoryChart.h"
#include "views/common/MetricViews.h"
#include "views/common/Widgets.h"
#include "views/details/MetricGaugeCard.h"
#include "views/details/SnapshotTable.h"
#include "views/popover/ProviderCards.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

constexpr int kGaugeMinimumWidth = 250;
constexpr int kSpacing = 12;

} // namespace

/// Cards in as many columns of at least 250 as fit, 12 apart.
class GaugeGrid : public QWidget
{
public:
    explicit GaugeGrid(QWidget* parent = nullptr) : QWidget(parent), m_grid(new QGridLayout(this))
    {
        m_grid->setContentsMargins(0, 0, 0, 0);
        m_grid->setSpacing(kSpacing);
    }

    void setCards(QList<MetricGaugeCard*> cards)
    {
        qDeleteAll(m_cards);
        m_cards = std::move(cards);
        m_columns = 0;
        relayout();
    }
    const QList<MetricGaugeCard*>& cards() const { return m_cards; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        relayout();
    }

private:
    void relayout()
    {
        const int columns = std::max(1, (width() + kSpacing) / (kGaugeMinimumWidth + kSpacing));
        if (columns == m_columns)
            return;
        m_columns = columns;
        while (m_grid->count() > 0)
            delete m_grid->takeAt(0);
        for (int i = 0; i < m_cards.size(); ++i)
            m_grid->addWidget(m_cards[i], i / columns, i % columns);
        for (int c = 0; c < 8; ++c)
            m_grid->setColumnStretch(c, c < columns ? 1 : 0);
    }

    QGridLayout* m_grid;
    QList<MetricGaugeCard*> m_cards;
    int m_columns = 0;
};

ProviderPage::ProviderPage(AIProvider provider, TrendRange range, std::function<void(TrendRange)> rangeChanged,
                           QWidget* parent)
    : QWidget(parent), m_provider(provider), m_name(new TextLabel(productName(provider), TextStyle::Title2)),
      m_plan(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary))),
      m_updated(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary))),
      m_notCurrent(new TextLabel({}, TextStyle::Caption, TextColor::accent(style::Accent::Orange))),
      m_gauges(new GaugeGrid), m_unavailable(new Card(6)),
      m_unavailableText(new TextLabel({}, TextStyle::Body, TextColor::of(Tone::Secondary))), m_picker(new RangePicker),
      m_chart(new UsageHistoryChart(260)), m_daily(new DailySummaryChart(14, 180)), m_table(new SnapshotTable)
{
    setObjectName(u"providerPage"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);

    m_name->setTextStyle(TextStyle::Title2, QFont::Bold);
    auto* clock = new SymbolLabel(u"clock"_s, symbolSize(TextStyle::Caption), TextColor::of(Tone::Secondary));
    m_updated->setObjectName(u"updated"_s);
    m_updatedRow = hbox({clock, m_updated}, 4);
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(m_name, 0, Qt::AlignBaseline);
    header->addWidget(m_plan, 0, Qt::AlignBaseline);
    header->addStretch(1);
    header->addWidget(m_updatedRow, 0, Qt::AlignVCenter);
    layout->addLayout(header);

    m_notCurrent->setObjectName(u"notCurrent"_s);
    m_notCurrent->setWordWrap(true);
    layout->addWidget(m_notCurrent);
    layout->addWidget(m_gauges);
    m_unavailable->setMinimumHeight(160);
    auto* warning = new SymbolLabel(u"exclamationmark.triangle"_s, 28, TextColor::accent(style::Accent::Orange));
    auto* title = new TextLabel(rawValue(provider) + u" unavailable"_s, TextStyle::Headline);
    m_unavailableText->setWordWrap(true);
    m_unavailableText->setAlignment(Qt::AlignHCenter);
    m_unavailable->body()->addStretch(1);
    m_unavailable->body()->addWidget(warning, 0, Qt::AlignHCenter);
    m_unavailable->body()->addWidget(title, 0, Qt::AlignHCenter);
    m_unavailable->body()->addWidget(m_unavailableText);
    m_unavailable->body()->addStretch(1);
    layout->addWidget(m_unavailable);

    auto* history = new Card(10);
    m_picker->setFixedWidth(180);
    m_picker->setRange(range);
    history->body()->addWidget(hbox({new TextLabel(u"History"_s, TextStyle::Headline), nullptr, m_picker}, 8));
    history->body()->addWidget(m_chart);
    layout->addWidget(history);
    connect(m_picker, &RangePicker::rangeChanged, this, [this, rangeChanged](TrendRange chosen) {
        rangeChanged(chosen);
        redrawRange();
    });

    auto* daily = new Card(8);
    daily->body()->addWidget(m_daily);
    layout->addWidget(daily);
    layout->addWidget(m_table);
    layout->addStretch(1);
}

void ProviderPage::setState(const UsageState& state, QuotaDisplayMode mode)
{
    m_mode = mode;
    std::optional<QString> plan;
    if (m_provider == AIProvider::ChatGPT && state.codexUsage)
        plan = state.codexUsage->plan;
    if (m_provider == AIProvider::Copilot && state.copilotUsage)
        plan = state.copilotUsage->plan;
    const auto planText = Trends::planText(m_provider, plan);
    m_plan->setText(planText.value_or(QString()));
    m_plan->setVisible(planText.has_value());
    m_updatedRow->setVisible(state.lastUpdated.has_value());
    if (state.lastUpdated)
        m_updated->setText(u"Updated "_s + relativeTimeText(*state.lastUpdated, viewNow()));

    const QList<ProviderMetric> metrics = state.metrics(m_provider);
    // Gauges of a failing provider show the record held from before: say they are not current.
    const auto& error = state.error(m_provider);
    const QString source = state.sourceNote(m_provider);
    m_notCurrent->setVisible((error || !source.isEmpty()) && !metrics.isEmpty());
    if (!error && !source.isEmpty()) // the service could not be asked; an agent's figures stand in
        m_notCurrent->setText(u"The gauges show the figures "_s + source + u'.');
    if (error && !metrics.isEmpty()) {
        const auto& notice = state.notice(m_provider);
        const auto& last = state.lastGoodValues(m_provider);
        QString text = notice && !notice->headline.isEmpty() ? notice->headline : *error;
        if (!text.endsWith(u'.'))
            text += u'.';
        text += u" The gauges show the last values"_s + (last ? u", "_s + asOfText(last->asOf, viewNow()) : QString()) +
                u'.';
        m_notCurrent->setText(text);
    }
    m_gauges->setVisible(!metrics.isEmpty());
    m_unavailable->setVisible(metrics.isEmpty());
    QStringList ids;
    for (const ProviderMetric& metric : metrics)
        ids.append(metric.id());
    if (ids == m_gaugeIds) {
        for (int i = 0; i < metrics.size(); ++i)
            m_gauges->cards()[i]->setMetric(metrics[i], state.history, mode);
    } else {
        QList<MetricGaugeCard*> cards;
        for (const ProviderMetric& metric : metrics)
            cards.append(new MetricGaugeCard(metric, state.history, mode));
        m_gauges->setCards(cards);
        m_gaugeIds = ids;
    }
    m_unavailableText->setText(state.error(m_provider).value_or(u"No data yet. Refresh to load usage."_s));

    m_history = state.history;
    m_daily->setData(m_history, m_provider);
    redrawRange();
}

void ProviderPage::redrawRange()
{
    m_chart->setData(m_history, m_picker->range(), m_provider);
    m_table->setData(m_history, m_picker->range(), m_mode, m_provider);
}

} // namespace tallyvue
