// SPDX-License-Identifier: MIT
#pragma once

#include "history/HistoryStore.h"
#include "providers/ClaudeUsage.h"
#include "providers/CodexService.h"
#include "providers/CopilotService.h"
#include "providers/UsageServiceError.h"
#include "refresh/UsageViewModel.h"
#include "views/common/Widgets.h"

#include <QList>
#include <QPair>

class QVBoxLayout;

namespace tallyvue {

class MetricRow;
class ModelRow;

/// The Claude card's symbol for a metric kind.
QString kindIcon(QStringView kind);
/// Claude's per-model weekly windows ("weekly_" but not "weekly_all").
bool isModelWeeklyKind(QStringView kind);
/// The Claude metrics without the per-model weekly ones, and those alone.
QList<ProviderMetric> mainMetrics(const UsageResponse& usage);
QList<ProviderMetric> modelMetrics(const UsageResponse& usage);
/// ("Sonnet", 12.0), ("Opus", ...): the fixed per-model windows that are present, in order.
QList<QPair<QString, double>> modelBreakdown(const UsageResponse& usage);
/// "$1.50 / $20.00", "Enabled" or "Disabled", with its colour.
struct ExtraUsageStatus
{
    QString symbol;
    QString text;
    TextColor color;
};
ExtraUsageStatus extraUsageStatus(const ExtraUsage& extra);
/// "Individual Pro" from "individual_pro".
QString copilotPlanText(const QString& plan);

/**
 * A card that rebuilds its rows only when what it lists changes (other windows, another plan),
 * and otherwise updates them in place so their bars glide to the new values.
 */
class ProviderCard : public Card
{
    Q_OBJECT

public:
    using Card::Card;

    /// "from Claude Code, 3 min ago" under the title while those figures stand in; empty hides it.
    void setSourceNote(const QString& note);

protected:
    /// True when the structure changed and the card was emptied for a rebuild.
    bool beginUpdate(const QString& structure);
    QWidget* header(AIProvider provider, const QString& badge = {});
    /// The line under the header that says where stand-in figures come from (hidden when empty).
    QWidget* sourceNoteLabel();

    QList<MetricRow*> m_metricRows;
    QList<ModelRow*> m_modelRows;

private:
    QString m_structure;
    bool m_built = false;
    QString m_note;
    TextLabel* m_sourceNote = nullptr;
};

/// The Claude card: windows, model breakdown and extra usage.
class UsageCardView : public ProviderCard
{
    Q_OBJECT

public:
    UsageCardView(const UsageResponse& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode,
                  QWidget* parent = nullptr);
    void setData(const UsageResponse& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode);
};

/// The ChatGPT / Codex card.
class CodexUsageView : public ProviderCard
{
    Q_OBJECT

public:
    CodexUsageView(const CodexUsage& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode,
                   QWidget* parent = nullptr);
    void setData(const CodexUsage& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode);
};

/// The GitHub Copilot card.
class CopilotUsageView : public ProviderCard
{
    Q_OBJECT

public:
    CopilotUsageView(const CopilotUsage& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode,
                     QWidget* parent = nullptr);
    void setData(const CopilotUsage& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode);
};

/// A turning arc: something is on its way.
class BusyIndicator : public QWidget
{
    Q_OBJECT

public:
    explicit BusyIndicator(int side = 20, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int m_timer = 0;
    int m_angle = 0;
};

/// "Loading usage data..." under a busy indicator.
class LoadingView : public QWidget
{
    Q_OBJECT

public:
    explicit LoadingView(QWidget* parent = nullptr);
};

/**
 * A provider that failed: a title, what the user can do about it (the notice's headline), the
 * error's own text, Claude's "Retry", and under them the values it delivered last, dimmed,
 * "as of" their time. A missing sign-in is a hint, drawn without the alarm colour.
 */
class ProblemView : public QWidget
{
    Q_OBJECT

public:
    ProblemView(AIProvider provider, QWidget* parent = nullptr);
    void setProblem(const QString& message, const std::optional<ProviderNotice>& notice,
                    const std::optional<LastGoodValues>& lastGood, QuotaDisplayMode mode);

Q_SIGNALS:
    void retryRequested();

private:
    AIProvider m_provider;
    SymbolLabel* m_icon;
    TextLabel* m_title;
    TextLabel* m_headline;
    TextLabel* m_message;
    GlassButton* m_retry;
    QWidget* m_lastGood;
    TextLabel* m_asOf;
    QVBoxLayout* m_rows;
};

/// "as of 12:04" (today) or "as of Jan 5, 12:04".
QString asOfText(const QDateTime& asOf, const QDateTime& now);

} // namespace tallyvue
