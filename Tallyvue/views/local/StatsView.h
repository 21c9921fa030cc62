// SPDX-License-Identifier: MIT
#pragma once

#include "providers/ClaudeUsage.h"
#include "views/common/Widgets.h"

namespace tallyvue {

/// "$12.50 USD": the minor units scaled by the exponent ("0.00" when either is missing).
QString spendAmountText(const SpendAmount& amount);
/// Whether the Claude record has anything for the statistics view.
bool hasClaudeStatistics(const UsageResponse& usage);

/// A card with a coloured symbol and a headline, then a divider and its rows.
Card* statsCard(const QString& symbol, TextColor symbolColor, const QString& title);

/// Claude's extra usage and spend limits, each on its own card, or a note that there are none.
class StatsView : public QWidget
{
    Q_OBJECT

public:
    explicit StatsView(const UsageResponse& usage, QWidget* parent = nullptr);
};

} // namespace tallyvue
