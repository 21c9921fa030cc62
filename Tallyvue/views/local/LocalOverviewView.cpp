// SPDX-License-Identifier: MIT
#include "views/local/LocalOverviewView.h"

#include "views/charts/StackedBarChart.h"
#include "views/common/MetricViews.h"
#include "views/local/ComputerName.h"
#include "views/popover/SelectorBar.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

int chartColorIndex(AIProvider provider)
{
    switch (provider) {
    case AIProvider::Claude: return 0;
    case AIProvider::ChatGPT: return 1;
    case AIProvider::Copilot: return 3;
    }
    return 0;
}

/// A card with a symbol and a headline above its content.
Card* titledCard(const QString& symbol, const QString& title, QWidget* content)
{
    auto* card = new Card(8);
    auto* heading = new TextLabel(title, TextStyle::Headline);
    heading->setObjectName(u"cardTitle"_s);
    card->body()->addWidget(hbox(
        {new SymbolLabel(symbol, symbolSize(TextStyle::Headline), TextColor::of(Tone::Secondary)), heading, nullptr},
        6));
    card->body()->addWidget(content);
    card->setAccessibleName(title);
    return card;
}

/// Stacks by name (in their order) into one series per provider present.
void fillStackChart(StackedBarChart* chart, const std::vector<LocalUsageStack>& stacks, int rowHeight)
{
    QStringList names;
    QList<AIProvider> providers;
    for (const LocalUsageStack& stack : stacks) {
        if (!names.contains(stack.name))
            names.append(stack.name);
        if (!providers.contains(stack.provider))
            providers.append(stack.provider);
    }
    std::sort(providers.begin(), providers.end());
    QList<BarSeriesData> series;
    QStringList spoken;
    for (AIProvider provider : providers) {
        BarSeriesData data{productName(provider), chartColorIndex(provider), QList<std::int64_t>(names.size(), 0)};
        for (const LocalUsageStack& stack : stacks) {
            if (stack.provider == provider)
                data.values[names.indexOf(stack.name)] += stack.tokens;
        }
        series.append(data);
    }
    for (const LocalUsageStack& stack : stacks)
        spoken.append(stack.name + u", "_s + productName(stack.provider) + u", "_s + shortTokenCount(stack.tokens) +
                      u" tokens"_s);
    chart->setData(names, series);
    chart->setAccessibleDescription(spoken.join(u"; "_s));
    if (rowHeight > 0)
        chart->setFixedHeight(int(std::max<qsizetype>(names.size(), 3)) * rowHeight + 30);
}

} // namespace

QString nothingRecordedText(std::optional<AIProvider> provider)
{
    if (!provider)
        return u"Claude Code and Codex sessions on this computer will show up here."_s;
    if (*provider == AIProvider::ChatGPT)
        return u"Codex sessions on this computer ("_s + transcriptFolderText(AIProvider::ChatGPT) +
               u") will show up here."_s;
    return u"Claude Code sessions on this computer ("_s + transcriptFolderText(AIProvider::Claude) +
           u") will show up here."_s;
}

AdaptiveGrid::AdaptiveGrid(int minColumnWidth, int spacing, QWidget* parent)
    : QWidget(parent), m_minColumnWidth(minColumnWidth), m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setSpacing(spacing);
}

void AdaptiveGrid::setWidgets(const QList<QWidget*>& widgets)
{
    m_widgets = widgets;
    arrange(true);
}

void AdaptiveGrid::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange(false);
}

void AdaptiveGrid::arrange(bool force)
{
    const int spacing = m_grid->horizontalSpacing();
    const int available = width() > 0 ? width() : 0;
    const int columns = std::max(1, (available + spacing) / (m_minColumnWidth + spacing));
    if (columns == m_columns && !force)
        return;
    m_columns = columns;
    for (QWidget* widget : std::as_const(m_widgets))
        m_grid->removeWidget(widget);
    for (int column = 0; column < m_grid->columnCount(); ++column)
        m_grid->setColumnStretch(column, 0);
    for (int i = 0; i < m_widgets.size(); ++i) {
        // The last of a row that is not full below full rows takes the rest of it, rather than
        // leave a hole beside it (five tiles in two columns).
        const bool lastBelowFullRow = i == m_widgets.size() - 1 && i >= columns;
        const int span = lastBelowFullRow ? columns - i % columns : 1;
        m_grid->addWidget(m_widgets[i], i / columns, i % columns, 1, span, Qt::AlignTop);
    }
    for (int column = 0; column < columns; ++column)
        m_grid->setColumnStretch(column, 1);
}

SummaryTile::SummaryTile(QWidget* parent)
    : Card(2, parent), m_title(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary))),
      m_value(new TextLabel({}, TextStyle::Title3)),
      m_detail(new TextLabel({}, TextStyle::Caption2, TextColor::of(Tone::Secondary)))
{
    body()->setContentsMargins(10, 8, 10, 8);
    m_title->setObjectName(u"title"_s);
    m_value->setObjectName(u"value"_s);
    m_value->setTextStyle(TextStyle::Title3, QFont::DemiBold, true);
    m_detail->setObjectName(u"detail"_s);
    // Keeps the tiles of a row the same height with or without a detail.
    m_detail->setMinimumHeight(m_detail->fontMetrics().height());
    for (QWidget* label :
         {static_cast<QWidget*>(m_title), static_cast<QWidget*>(m_value), static_cast<QWidget*>(m_detail)})
        body()->addWidget(label);
}

void SummaryTile::setTile(const LocalSummaryTile& tile)
{
    m_tile = tile;
    setObjectName(u"tile:"_s + tile.title);
    m_title->setText(tile.title);
    m_value->setText(tile.value);
    m_detail->setText(tile.detail);
    setAccessibleName(tile.title + u", "_s + tile.value +
                      (tile.detail.isEmpty() ? QString() : QString(u", "_s + tile.detail)));
    setAccessibleDescription(tile.note);
    setToolTip(tile.note);
}

LocalOverviewView::LocalOverviewView(std::optional<AIProvider> provider, bool compact, QWidget* parent)
    : QWidget(parent), m_provider(provider), m_compact(compact)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    // Header: title and subtitle on the left, the range picker on the right.
    auto* title = new TextLabel(u"This Computer"_s, compact ? TextStyle::Headline : TextStyle::Title2);
    title->setObjectName(u"localTitle"_s);
    if (!compact)
        title->setTextStyle(TextStyle::Title2, QFont::DemiBold);
    m_subtitle =
        new TextLabel({}, compact ? TextStyle::Caption : TextStyle::Subheadline, TextColor::of(Tone::Secondary));
    m_subtitle->setObjectName(u"localSubtitle"_s);
    auto* titles = new QWidget;
    auto* titleColumn = new QVBoxLayout(titles);
    titleColumn->setContentsMargins(0, 0, 0, 0);
    titleColumn->setSpacing(1);
    titleColumn->addWidget(title);
    titleColumn->addWidget(m_subtitle);
    m_picker = new SelectorBar(
        {{rawValue(LocalRange::Day), rawValue(LocalRange::Day), std::nullopt, {}, u"Range: 24 hours"_s, true},
         {rawValue(LocalRange::Week), rawValue(LocalRange::Week), std::nullopt, {}, u"Range: 7 days"_s, true}},
        2, 150);
    m_picker->setObjectName(u"range"_s);
    m_picker->setAccessibleName(u"Range"_s);
    m_picker->setFixedWidth(120);
    connect(m_picker, &SelectorBar::activated, this, [this](const QString& key) {
        setRange(key == rawValue(LocalRange::Day) ? LocalRange::Day : LocalRange::Week);
    });
    auto* header = new QWidget;
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->addWidget(titles, 1, Qt::AlignTop);
    headerRow->addWidget(m_picker, 0, Qt::AlignTop);
    layout->addWidget(header);

    // The card in place of everything else: Copilot keeps no transcripts, or nothing in range.
    m_message = new Card(8);
    m_message->setObjectName(u"localMessage"_s);
    m_message->setFixedHeight(160);
    m_messageTitle = new TextLabel({}, TextStyle::Headline);
    m_messageTitle->setObjectName(u"messageTitle"_s);
    m_messageTitle->setAlignment(Qt::AlignHCenter);
    m_messageText = new TextLabel({}, TextStyle::Subheadline, TextColor::of(Tone::Secondary));
    m_messageText->setObjectName(u"messageText"_s);
    m_messageText->setAlignment(Qt::AlignHCenter);
    m_messageText->setWordWrap(true);
    m_message->body()->addStretch(1);
    m_message->body()->addWidget(new SymbolLabel(u"desktopcomputer"_s, 28, TextColor::of(Tone::Secondary)), 0,
                                 Qt::AlignHCenter);
    m_message->body()->addWidget(m_messageTitle);
    m_message->body()->addWidget(m_messageText);
    m_message->body()->addStretch(1);
    layout->addWidget(m_message);

    m_dataArea = new QWidget;
    auto* dataColumn = new QVBoxLayout(m_dataArea);
    dataColumn->setContentsMargins(0, 0, 0, 0);
    dataColumn->setSpacing(12);
    m_tileGrid = new AdaptiveGrid(compact ? 120 : 150, 12);
    QList<QWidget*> tiles;
    // One tile per entry of LocalOverviewData::tiles(); a further entry needs no change here.
    for (std::size_t i = 0; i < LocalOverviewData().tiles().size(); ++i) {
        auto* tile = new SummaryTile;
        m_tiles.append(tile);
        tiles.append(tile);
    }
    m_tileGrid->setWidgets(tiles);
    dataColumn->addWidget(m_tileGrid);

    m_daily = new StackedBarChart(Qt::Vertical, true);
    m_daily->setObjectName(u"dailyChart"_s);
    m_daily->setAccessibleName(u"Tokens per day"_s);
    m_daily->setFixedHeight(compact ? 140 : 200);
    dataColumn->addWidget(titledCard(u"calendar"_s, u"Tokens per day"_s, m_daily));

    m_projects = new StackedBarChart(Qt::Horizontal, false);
    m_projects->setObjectName(u"projectChart"_s);
    m_projects->setAccessibleName(u"By project"_s);
    m_models = new StackedBarChart(Qt::Horizontal, false);
    m_models->setObjectName(u"modelChart"_s);
    m_models->setAccessibleName(u"By model"_s);
    auto* breakdown = new AdaptiveGrid(compact ? 200 : 380, 12);
    breakdown->setWidgets(
        {titledCard(u"folder"_s, u"By project"_s, m_projects), titledCard(u"cpu"_s, u"By model"_s, m_models)});
    dataColumn->addWidget(breakdown);

    m_note = new TextLabel(m_provider ? u"Token counts from this computer's transcripts (last 8 days). The account "
                                        u"percentages are shared across all your devices."_s
                                      : u"Token counts from this computer's Claude Code and Codex transcripts (last 8 "
                                        u"days). Copilot keeps no local logs. Account percentages are shared across "
                                        u"all your devices."_s,
                           TextStyle::Caption, TextColor::of(Tone::Tertiary));
    m_note->setObjectName(u"localNote"_s);
    m_note->setWordWrap(true);
    dataColumn->addWidget(m_note);
    layout->addWidget(m_dataArea);

    connect(&ComputerName::instance(), &ComputerName::changed, this, &LocalOverviewView::updateSubtitle);
    updateSubtitle();
    m_picker->setCurrent(rawValue(m_range));
    refresh();
}

void LocalOverviewView::updateSubtitle()
{
    QStringList parts;
    if (const QString name = ComputerName::instance().name(); !name.isEmpty())
        parts.append(name);
    if (m_provider)
        parts.append(productName(*m_provider));
    m_subtitle->setText(parts.join(u" · "_s));
    m_subtitle->setVisible(!parts.isEmpty());
}

void LocalOverviewView::setState(const UsageState& state)
{
    // A new scan result is a new list; the coordinator's clock moves once a minute.
    if (m_built && state.localUsage == m_events && state.now == m_clock)
        return;
    m_events = state.localUsage;
    m_clock = state.now;
    refresh();
}

void LocalOverviewView::setRange(LocalRange range)
{
    m_picker->setCurrent(rawValue(range));
    if (range == m_range)
        return;
    m_range = range;
    refresh();
}

void LocalOverviewView::refresh()
{
    m_built = true;
    if (m_provider == AIProvider::Copilot) {
        m_content = Content::NoLocalData;
        m_messageTitle->setText(u"No local data"_s);
        m_messageText->setText(u"GitHub Copilot keeps no session transcripts on this computer, so only the account "
                               u"quotas are available."_s);
    } else {
        static const std::vector<LocalUsageEvent> kNone;
        const std::vector<LocalUsageEvent>& events = m_events ? *m_events : kNone;
        m_data = LocalOverviewData::build(events, m_provider, m_range, viewNow(), m_compact ? 6 : 10);
        ++m_aggregations;
        m_content = m_data.hasEvents ? Content::Data : Content::Empty;
        if (!m_data.hasEvents) {
            m_messageTitle->setText(u"Nothing recorded yet"_s);
            m_messageText->setText(nothingRecordedText(m_provider));
        }
    }
    m_message->setAccessibleName(m_messageTitle->text() + u". "_s + m_messageText->text());
    m_message->setVisible(m_content != Content::Data);
    m_dataArea->setVisible(m_content == Content::Data);
    if (m_content == Content::Data)
        showData();
}

void LocalOverviewView::showData()
{
    const std::vector<LocalSummaryTile> tiles = m_data.tiles();
    for (qsizetype i = 0; i < m_tiles.size() && std::size_t(i) < tiles.size(); ++i)
        m_tiles[i]->setTile(tiles[std::size_t(i)]);

    fillStackChart(m_daily, m_data.daily, 0);
    const int rowHeight = m_compact ? 22 : 26;
    fillStackChart(m_projects, m_data.projectStacks, rowHeight);
    fillStackChart(m_models, m_data.modelStacks, rowHeight);
}

} // namespace tallyvue
