// SPDX-License-Identifier: MIT
#pragma once

#include "views/common/UsageState.h"
#include "views/common/Widgets.h"

#include <QList>

class QGridLayout;

namespace tallyvue {

class LocalOverviewView;
class ProgressBarView;

/// The metrics an overview card lists: the provider's, without Claude's per-model weekly windows.
QList<ProviderMetric> overviewMetrics(const UsageState& state, AIProvider provider);
/// The metric with the largest used percent; the first wins a tie.
std::optional<ProviderMetric> highestMetric(const QList<ProviderMetric>& metrics);

/// A text that wraps and ends with "…" after `maxLines` lines.
class ElidedLabel : public TextLabel
{
    Q_OBJECT

public:
    ElidedLabel(const QString& text, style::TextStyle textStyle, TextColor color, int maxLines,
                QWidget* parent = nullptr);
    void setFullText(const QString& text);
    QString fullText() const { return m_fullText; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QString elided(int width) const;
    QString m_fullText;
    int m_maxLines;
};

/// One provider in the overview: logo, name, its highest percent, and a line per window.
class OverviewProviderCard : public Card
{
    Q_OBJECT

public:
    OverviewProviderCard(AIProvider provider, QWidget* parent = nullptr);
    void setState(const UsageState& state, QuotaDisplayMode mode);
    AIProvider provider() const { return m_provider; }

private:
    AIProvider m_provider;
    TextLabel* m_highest;
    QWidget* m_lines;
    QString m_structure;
};

/// All three providers at once: stacked in the popover (compact), in a grid elsewhere.
class OverviewView : public QWidget
{
    Q_OBJECT

public:
    explicit OverviewView(bool compact, QWidget* parent = nullptr);
    void setState(const UsageState& state, QuotaDisplayMode mode);
    OverviewProviderCard* card(AIProvider provider) const;
    LocalOverviewView* localOverview() const { return m_local; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void arrange();
    bool m_compact;
    QList<OverviewProviderCard*> m_cards;
    LocalOverviewView* m_local;
    QGridLayout* m_grid = nullptr;
    int m_columns = 0;
};

} // namespace tallyvue
