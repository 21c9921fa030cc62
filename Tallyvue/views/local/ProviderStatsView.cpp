// SPDX-License-Identifier: MIT
#include "views/local/ProviderStatsView.h"

#include "model/Formatting.h"
#include "model/Timestamp.h"
#include "views/common/MetricViews.h"
#include "views/local/LocalUsageCard.h"
#include "views/local/StatsView.h"

#include <QLocale>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

QWidget* codexStats(const CodexUsage& usage, QuotaDisplayMode mode, const QDateTime& now)
{
    Card* card = statsCard(u"clock.arrow.circlepath"_s, TextColor::of(Tone::Secondary), u"Windows"_s);
    for (const CodexWindow& window : usage.windows)
        card->body()->addWidget(new StatRow(window.title, codexWindowStatText(window, mode, now)));
    if (usage.creditBalance)
        card->body()->addWidget(new StatRow(u"Credit balance"_s, moneyText(*usage.creditBalance)));
    card->body()->addWidget(new StatRow(u"Limit reached"_s, usage.limitReached ? u"Yes"_s : u"No"_s));
    return card;
}

QWidget* copilotStats(const CopilotUsage& usage)
{
    Card* card = statsCard(u"number"_s, TextColor::of(Tone::Secondary), u"Quotas"_s);
    for (const CopilotQuota& quota : usage.quotas) {
        card->body()->addWidget(new StatRow(quota.title, quota.unlimited ? u"Unlimited"_s
                                                                         : QString::number(quota.used) + u" / "_s +
                                                                               QString::number(quota.entitlement)));
    }
    if (const auto resets = copilotResetText(usage))
        card->body()->addWidget(new StatRow(u"Resets"_s, *resets));
    return card;
}

/// Every value the Claude statistics show, as one text.
QString statsKey(const UsageResponse& usage)
{
    QString key;
    const auto number = [](std::optional<double> value) { return value ? QString::number(*value) : u"-"_s; };
    if (const auto& extra = usage.extraUsage)
        key += u"extra:"_s + QString::number(extra->isEnabled) + number(extra->monthlyLimit) + u'/' +
               number(extra->usedCredits);
    if (const auto& spend = usage.spend) {
        key += u"|spend:"_s + QString::number(spend->enabled.value_or(false)) + u'/' + number(spend->limit) + u'/' +
               number(spend->balance);
        if (spend->used)
            key += u'/' + spendAmountText(*spend->used);
    }
    return key;
}

} // namespace

QString codexWindowStatText(const CodexWindow& window, QuotaDisplayMode mode, const QDateTime& now)
{
    QString text =
        percentText(window.percentUsed, mode) + (mode == QuotaDisplayMode::Remaining ? u" left"_s : u" used"_s);
    if (const auto resets = window.resetDescription(now))
        text += u" · resets "_s + *resets;
    return text;
}

std::optional<QString> copilotResetText(const CopilotUsage& usage)
{
    const auto resets = parseTimestamp(usage.resetDate);
    if (!resets)
        return std::nullopt;
    // A bare date names a calendar day, not an instant: shown as is, it must not slip to the
    // day before west of Greenwich.
    const QDate bare = QDate::fromString(usage.resetDate->trimmed(), Qt::ISODate);
    const QDate date = bare.isValid() ? bare : resets->toLocalTime().date();
    return QLocale::system().toString(date, u"MMM d"_s);
}

ProviderStatsView::ProviderStatsView(AIProvider provider, bool expanded, QWidget* parent)
    : QWidget(parent), m_provider(provider), m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(12);
    if (provider != AIProvider::Copilot) {
        m_localCard = new LocalUsageCard(provider, expanded);
        connect(m_localCard, &LocalUsageCard::toggleRequested, this, &ProviderStatsView::expandToggled);
        m_layout->addWidget(m_localCard);
    }
}

void ProviderStatsView::setExpanded(bool expanded)
{
    if (m_localCard)
        m_localCard->setExpanded(expanded);
}

void ProviderStatsView::setState(const UsageState& state, QuotaDisplayMode mode)
{
    if (m_localCard)
        m_localCard->setState(state);

    // The statistics below are small; they are rebuilt only when what they show changes (the
    // record, the display mode, or the minute of the ChatGPT reset phrases).
    const QDateTime now = viewNow();
    QString shownFrom = rawValue(mode);
    switch (m_provider) {
    case AIProvider::Claude:
        if (state.usage)
            shownFrom += statsKey(*state.usage);
        break;
    case AIProvider::ChatGPT:
        if (state.codexUsage) {
            for (const CodexWindow& window : state.codexUsage->windows)
                shownFrom += u'|' + window.title + u'=' + codexWindowStatText(window, mode, now);
            shownFrom += u'|' + QString::number(state.codexUsage->creditBalance.value_or(-1)) +
                         (state.codexUsage->limitReached ? u"|limit"_s : u"|"_s);
        }
        break;
    case AIProvider::Copilot:
        if (state.copilotUsage) {
            for (const CopilotQuota& quota : state.copilotUsage->quotas)
                shownFrom += u'|' + quota.title + u'=' + QString::number(quota.unlimited) + u'/' +
                             QString::number(quota.used) + u'/' + QString::number(quota.entitlement);
            shownFrom += u'|' + copilotResetText(*state.copilotUsage).value_or(QString());
        }
        break;
    }
    if (m_stats && shownFrom == m_shownFrom)
        return;
    m_shownFrom = shownFrom;
    QWidget* next = nullptr;
    switch (m_provider) {
    case AIProvider::Claude:
        if (state.usage && hasClaudeStatistics(*state.usage)) {
            next = new StatsView(*state.usage);
        }
        break;
    case AIProvider::ChatGPT:
        if (state.codexUsage && !state.codexUsage->windows.isEmpty()) {
            next = codexStats(*state.codexUsage, mode, now);
        }
        break;
    case AIProvider::Copilot:
        if (state.copilotUsage) {
            next = copilotStats(*state.copilotUsage);
        } else {
            auto* none =
                new TextLabel(u"No Copilot statistics yet."_s, TextStyle::Caption, TextColor::of(Tone::Secondary));
            none->setObjectName(u"noCopilotStatistics"_s);
            next = none;
        }
        break;
    }
    if (m_stats) {
        m_layout->removeWidget(m_stats);
        delete m_stats;
        m_stats = nullptr;
    }
    if (next) {
        m_stats = next;
        m_layout->addWidget(next);
    }
}

} // namespace tallyvue
