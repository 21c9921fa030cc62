// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageCardModel.h"
#include "views/common/UsageState.h"
#include "views/common/Widgets.h"

#include <memory>

class QVBoxLayout;

namespace tallyvue {

class StackedBarChart;

/// A share's bar: the filled part is the fraction of the width, at least 2 wide.
class ShareBar : public QWidget
{
    Q_OBJECT

public:
    explicit ShareBar(double fraction, QWidget* parent = nullptr);
    void setFraction(double fraction);
    /// The filled width at the current size.
    qreal filledWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_fraction;
};

/**
 * This computer's own use of one provider beside the account's quota windows: tokens in the
 * 5-hour window, today and the 7-day window, the week by model and project and, expanded, by
 * day. A click on the card asks the host to expand or collapse it.
 */
class LocalUsageCard : public Card
{
    Q_OBJECT

public:
    LocalUsageCard(AIProvider provider, bool expanded, QWidget* parent = nullptr);

    void setState(const UsageState& state);
    void setExpanded(bool expanded);
    bool isExpanded() const { return m_expanded; }
    const LocalUsageCardData& data() const { return m_data; }
    int aggregations() const { return m_aggregations; }

Q_SIGNALS:
    /// The user clicked the card: the host decides and calls setExpanded().
    void toggleRequested();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void rebuild();
    QWidget* shareSection(const QString& title, const std::vector<LocalUsageShare>& shares, std::size_t limit);

    AIProvider m_provider;
    bool m_expanded;
    std::shared_ptr<const std::vector<LocalUsageEvent>> m_events;
    QList<ProviderMetric> m_metrics;
    QDateTime m_clock;
    bool m_built = false;
    int m_aggregations = 0;
    LocalUsageCardData m_data;
    QWidget* m_content = nullptr;
    TextLabel* m_name;
};

/// "No Claude Code sessions found in ~/.claude/projects." and the Codex one.
QString noSessionsText(AIProvider provider);

} // namespace tallyvue
