// SPDX-License-Identifier: MIT
#pragma once

#include "views/common/UsageState.h"

#include <QWidget>

class QVBoxLayout;

namespace tallyvue {

class LocalUsageCard;

/// The ChatGPT windows card's value: "42% used · resets in 2 hr." ("left" when remaining is shown).
QString codexWindowStatText(const CodexWindow& window, QuotaDisplayMode mode, const QDateTime& now);
/// The Copilot reset date as the locale's abbreviated month and day ("Feb 1"), if it reads.
std::optional<QString> copilotResetText(const CopilotUsage& usage);

/**
 * A provider's Stats tab: this computer's local usage card (Claude and ChatGPT), then the
 * provider's statistics: Claude's extra usage and spend, ChatGPT's windows and credits,
 * Copilot's quotas.
 */
class ProviderStatsView : public QWidget
{
    Q_OBJECT

public:
    ProviderStatsView(AIProvider provider, bool expanded, QWidget* parent = nullptr);

    void setState(const UsageState& state, QuotaDisplayMode mode);
    void setExpanded(bool expanded);
    LocalUsageCard* localCard() const { return m_localCard; }

Q_SIGNALS:
    /// The local card was clicked; the host keeps the flag and calls setExpanded().
    void expandToggled();

private:
    AIProvider m_provider;
    LocalUsageCard* m_localCard = nullptr;
    QWidget* m_stats = nullptr;
    /// What the statistics were last built from; the same again leaves them alone.
    QString m_shownFrom;
    QVBoxLayout* m_layout;
};

} // namespace tallyvue
