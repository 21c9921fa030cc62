// SPDX-License-Identifier: MIT
#include "views/details/ComputerPage.h"

#include "local/LocalUsageScanner.h"
#include "views/charts/StackedBarChart.h"
#include "views/common/MetricViews.h"
#include "views/common/UsageState.h"
#include "views/common/Widgets.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QPointer>
#include <QThreadPool>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

const QStringList kColumns{u"Month"_s,       u"Requests"_s,   u"Input"_s, u"Output"_s,
                           u"Cache write"_s, u"Cache read"_s, u"Total"_s, u"API value"_s};

QStringList rowTexts(const ReportRow& row, const QString& name)
{
    const LocalUsageTotals& t = row.totals;
    const bool unpriced = row.cost.pricedRequests == 0 && row.cost.unpricedRequests > 0;
    return {name,
            QString::number(t.requests),
            shortTokenCount(t.inputTokens),
            shortTokenCount(t.outputTokens),
            shortTokenCount(t.cacheCreationTokens),
            shortTokenCount(t.cacheReadTokens),
            shortTokenCount(t.tokens()),
            unpriced ? u"–"_s : costText(row.cost.usd)};
}

Card* titledCard(const QString& symbol, const QString& title, QWidget* content)
{
    auto* card = new Card(8);
    card->body()->addWidget(
        hbox({new SymbolLabel(symbol, symbolSize(TextStyle::Headline), TextColor::of(Tone::Secondary)),
              new TextLabel(title, TextStyle::Headline), nullptr},
             6));
    card->body()->addWidget(content);
    card->setAccessibleName(title);
    return card;
}

} // namespace

ComputerPage::ComputerPage(QWidget* parent)
    : QWidget(parent), m_status(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary))),
      m_message(new Card(6)), m_data(new QWidget), m_daily(new StackedBarChart(Qt::Vertical, true)),
      m_table(new QGridLayout), m_note(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary)))
{
    setObjectName(u"computerPage"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto* title = new TextLabel(u"This Computer"_s, TextStyle::Title2);
    title->setTextStyle(TextStyle::Title2, QFont::Bold);
    m_status->setObjectName(u"computerStatus"_s);
    layout->addWidget(hbox({title, nullptr, m_status}, 8));

    auto* messageText = new TextLabel(u"No Claude Code or Codex transcripts on this computer in the last six months."_s,
                                      TextStyle::Body, TextColor::of(Tone::Secondary));
    messageText->setWordWrap(true);
    messageText->setAlignment(Qt::AlignHCenter);
    m_message->setMinimumHeight(120);
    m_message->body()->addStretch(1);
    m_message->body()->addWidget(new TextLabel(u"Nothing recorded yet"_s, TextStyle::Headline), 0, Qt::AlignHCenter);
    m_message->body()->addWidget(messageText);
    m_message->body()->addStretch(1);
    m_message->hide();
    layout->addWidget(m_message);

    auto* column = new QVBoxLayout(m_data);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    m_daily->setObjectName(u"computerDailyChart"_s);
    m_daily->setAccessibleName(u"Tokens per day, last 30 days"_s);
    m_daily->setFixedHeight(220);
    column->addWidget(titledCard(u"calendar"_s, u"Tokens per day · last 30 days"_s, m_daily));
    auto* table = new QWidget;
    table->setObjectName(u"computerMonths"_s);
    table->setLayout(m_table);
    m_table->setContentsMargins(0, 0, 0, 0);
    m_table->setHorizontalSpacing(14);
    m_table->setVerticalSpacing(6);
    for (int c = 0; c < kColumns.size(); ++c) {
        auto* header = new TextLabel(kColumns[c], TextStyle::Caption, TextColor::of(Tone::Secondary));
        header->setTextStyle(TextStyle::Caption, QFont::DemiBold);
        m_table->addWidget(header, 0, c, c == 0 ? Qt::AlignLeft : Qt::AlignRight);
    }
    m_table->setColumnStretch(0, 1);
    column->addWidget(titledCard(u"clock"_s, u"Last 6 months"_s, table));
    m_note->setWordWrap(true);
    column->addWidget(m_note);
    layout->addWidget(m_data);
    m_data->hide();
    layout->addStretch(1);
}

void ComputerPage::load()
{
    if (m_loading)
        return;
    m_loading = true;
    m_status->setText(u"Reading transcripts…"_s);
    const QDateTime now = viewNow();
    const QTimeZone zone = QTimeZone::systemTimeZone();
    QPointer<ComputerPage> self(this);
    const int generation = ++m_generation;
    QThreadPool::globalInstance()->start([self, now, zone, generation] {
        const QDate first = ComputerMonth::firstDay(now, zone);
        const ReportEvents events =
            scanForReport(LocalUsageScanner::defaultSources(), first.startOfDay(zone).toMSecsSinceEpoch());
        ComputerMonth month = ComputerMonth::build(events, now, zone);
        // Back on the GUI thread; the page, or the whole application, may have closed meanwhile.
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(app, [self, generation, month = std::move(month)] {
            if (!self || self->m_generation != generation)
                return;
            self->m_loading = false;
            self->showMonth(month);
        });
    });
}

void ComputerPage::setMonth(const ComputerMonth& month)
{
    // A read still running would replace what was handed in.
    ++m_generation;
    m_loading = false;
    showMonth(month);
}

void ComputerPage::showMonth(const ComputerMonth& month)
{
    m_month = month;
    m_status->setText(u"Claude Code and Codex transcripts · at API list prices"_s);
    m_message->setVisible(!month.hasEvents);
    m_data->setVisible(month.hasEvents);

    QStringList days;
    QList<BarSeriesData> series{{productName(AIProvider::Claude), 0, {}}, {productName(AIProvider::ChatGPT), 1, {}}};
    for (const LocalUsageStack& stack : month.days) {
        if (stack.provider == AIProvider::Claude) {
            days << stack.name;
            series[0].values << stack.tokens;
        } else {
            series[1].values << stack.tokens;
        }
    }
    m_daily->setData(days, series);
    fillTable();
}

void ComputerPage::fillTable()
{
    for (int r = 1; r < m_table->rowCount(); ++r) {
        for (int c = 0; c < m_table->columnCount(); ++c) {
            if (QLayoutItem* item = m_table->itemAtPosition(r, c)) {
                delete item->widget();
            }
        }
    }
    const QLocale locale = QLocale::system();
    int r = 1;
    const auto addRow = [&](const QStringList& texts, bool strong) {
        for (int c = 0; c < texts.size(); ++c) {
            auto* cell = new TextLabel(texts[c], TextStyle::Caption);
            cell->setTextStyle(TextStyle::Caption, strong ? QFont::DemiBold : QFont::Normal, true);
            m_table->addWidget(cell, r, c, c == 0 ? Qt::AlignLeft : Qt::AlignRight);
        }
        ++r;
    };
    for (auto it = m_month.months.rbegin(); it != m_month.months.rend(); ++it)
        addRow(rowTexts(*it, locale.toString(it->start.date(), u"MMMM yyyy"_s)), false);
    addRow(rowTexts(m_month.total, u"Total"_s), true);
    QString note = u"API value is what these requests would cost at API list prices, not what a subscription costs."_s;
    if (m_month.total.cost.unpricedRequests > 0)
        note +=
            u" Not priced: %1 requests of models without a list price (%2)."_s.arg(m_month.total.cost.unpricedRequests)
                .arg(m_month.unpricedModels.join(u", "_s));
    m_note->setText(note);
}

QString ComputerPage::cellText(int row, int column) const
{
    QLayoutItem* item = m_table->itemAtPosition(row, column);
    const auto* label = item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
    return label ? label->text() : QString();
}

} // namespace tallyvue
