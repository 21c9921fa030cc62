// SPDX-License-Identifier: MIT
#include "views/local/StatsView.h"

#include "model/Formatting.h"
#include "views/common/MetricViews.h"

#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

QString spendAmountText(const SpendAmount& amount)
{
    QString number = u"0.00"_s;
    if (amount.amountMinor && amount.exponent) {
        const double value = double(*amount.amountMinor) / std::pow(10.0, double(*amount.exponent));
        // An absurd exponent would print "inf" or "nan"; such an amount is as good as missing.
        if (std::isfinite(value))
            number = QString::asprintf("%.2f", value);
    }
    return u"$"_s + number + u' ' + amount.currency.value_or(u"USD"_s);
}

bool hasClaudeStatistics(const UsageResponse& usage)
{
    return usage.extraUsage.has_value() || usage.spend.has_value();
}

Card* statsCard(const QString& symbol, TextColor symbolColor, const QString& title)
{
    auto* card = new Card(8);
    auto* heading = new TextLabel(title, TextStyle::Headline);
    heading->setObjectName(u"cardTitle"_s);
    card->body()->addWidget(
        hbox({new SymbolLabel(symbol, symbolSize(TextStyle::Headline), std::move(symbolColor)), heading, nullptr}, 6));
    card->body()->addWidget(new Divider);
    card->setObjectName(title);
    card->setAccessibleName(title);
    return card;
}

StatsView::StatsView(const UsageResponse& usage, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    if (const auto& extra = usage.extraUsage) {
        Card* card = statsCard(u"bolt.circle.fill"_s, TextColor::accent(style::Accent::Blue), u"Extra Usage"_s);
        card->body()->addWidget(new StatRow(u"Status"_s, extra->isEnabled ? u"Enabled"_s : u"Disabled"_s));
        if (extra->monthlyLimit)
            card->body()->addWidget(new StatRow(u"Monthly Limit"_s, moneyText(*extra->monthlyLimit)));
        if (extra->usedCredits)
            card->body()->addWidget(new StatRow(u"Used Credits"_s, moneyText(*extra->usedCredits)));
        layout->addWidget(card);
    }
    if (const auto& spend = usage.spend) {
        Card* card = statsCard(u"dollarsign.circle.fill"_s, TextColor::accent(style::Accent::Green), u"Spend Limits"_s);
        card->body()->addWidget(
            new StatRow(u"Status"_s, spend->enabled.value_or(false) ? u"Enabled"_s : u"Disabled"_s));
        if (spend->used)
            card->body()->addWidget(new StatRow(u"Amount Used"_s, spendAmountText(*spend->used)));
        if (spend->limit)
            card->body()->addWidget(new StatRow(u"Spend Limit"_s, moneyText(*spend->limit)));
        if (spend->balance)
            card->body()->addWidget(new StatRow(u"Remaining Balance"_s, moneyText(*spend->balance)));
        layout->addWidget(card);
    }
    if (!hasClaudeStatistics(usage)) {
        auto* empty = new QWidget;
        empty->setObjectName(u"noStatistics"_s);
        auto* column = new QVBoxLayout(empty);
        column->setContentsMargins(12, 24, 12, 24);
        column->setSpacing(8);
        auto* title = new TextLabel(u"No Statistics Available"_s, TextStyle::Headline);
        title->setObjectName(u"title"_s);
        title->setAlignment(Qt::AlignHCenter);
        auto* message = new TextLabel(u"Your account does not have extra usage or spend data configured."_s,
                                      TextStyle::Subheadline, TextColor::of(Tone::Secondary));
        message->setObjectName(u"message"_s);
        message->setAlignment(Qt::AlignHCenter);
        message->setWordWrap(true);
        column->addWidget(
            new SymbolLabel(u"chart.bar.xaxis"_s, symbolSize(TextStyle::LargeTitle), TextColor::of(Tone::Secondary)), 0,
            Qt::AlignHCenter);
        column->addWidget(title);
        column->addWidget(message);
        layout->addWidget(empty);
    }
}

} // namespace tallyvue
