// SPDX-License-Identifier: MIT
#pragma once

#include "history/HistoryStore.h"
#include "insights/Presentation.h"
#include "model/ProviderMetric.h"
#include "views/common/Style.h"

#include <QTimer>
#include <QWidget>

#include <optional>

class QBoxLayout;

namespace tallyvue {

class ProgressBarView;
class SymbolLabel;
class TextLabel;

/// "Resets in 2h 5m" with its symbol, muted; redrawn every minute while shown.
class ResetCountdownText : public QWidget
{
    Q_OBJECT

public:
    explicit ResetCountdownText(std::optional<QDateTime> resetsAt = std::nullopt, QWidget* parent = nullptr);

    void setResetsAt(std::optional<QDateTime> resetsAt);
    /// The text shown now, or empty when nothing is shown.
    QString text() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void redraw();
    std::optional<QDateTime> m_resetsAt;
    SymbolLabel* m_icon;
    TextLabel* m_label;
    QTimer m_timer;
};

/// The one-hour change and the projection of a metric, side by side or stacked.
class MetricInsightCaption : public QWidget
{
    Q_OBJECT

public:
    MetricInsightCaption(const ProviderMetric& metric, const QList<UsageSnapshot>& history, bool wraps,
                         QWidget* parent = nullptr);

    void setMetric(const ProviderMetric& metric, const QList<UsageSnapshot>& history);
    const InsightCaption& caption() const { return m_caption; }

private:
    QWidget* partWidget(const CaptionPart& part);
    QBoxLayout* m_layout;
    InsightCaption m_caption;
};

/// A limit window: title and percent, the usage bar, subtitle and countdown, the insight caption.
class MetricRow : public QWidget
{
    Q_OBJECT

public:
    MetricRow(const ProviderMetric& metric, const QList<UsageSnapshot>& history, QuotaDisplayMode mode,
              const QString& icon = {}, const QString& subtitle = {}, QWidget* parent = nullptr);

    void setMetric(const ProviderMetric& metric, const QList<UsageSnapshot>& history, QuotaDisplayMode mode,
                   const QString& subtitle = {});
    const ProviderMetric& metric() const { return m_metric; }
    using QWidget::metric; // the paint-device overload stays reachable

private:
    ProviderMetric m_metric;
    TextLabel* m_title;
    TextLabel* m_percent;
    ProgressBarView* m_bar;
    TextLabel* m_subtitle;
    ResetCountdownText* m_countdown;
    QWidget* m_detailLine;
    MetricInsightCaption* m_caption;
    QuotaDisplayMode m_mode = QuotaDisplayMode::Used;
    QTimer m_speechTimer;
};

/// One model's weekly usage in a compact line: name, bar, percent.
class ModelRow : public QWidget
{
    Q_OBJECT

public:
    ModelRow(const QString& name, double utilization, QuotaDisplayMode mode, QWidget* parent = nullptr);
    void setUtilization(double utilization, QuotaDisplayMode mode);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elideName();
    QString m_name;
    TextLabel* m_nameLabel;
    ProgressBarView* m_bar;
    TextLabel* m_percent;
};

/// A title and its value on one line.
class StatRow : public QWidget
{
    Q_OBJECT

public:
    StatRow(const QString& title, const QString& value, QWidget* parent = nullptr);
};

/// "2 hours 5 minutes": a duration as a screen reader should say it (same rounding as
/// durationText's "2h 5m").
QString spokenDurationText(double seconds);
/// What a screen reader says for a limit window: "Claude, 5-Hour, 42 percent used, resets in
/// 2 hours 5 minutes" ("58 percent left" in remaining mode; no reset part when none is ahead).
QString spokenMetricText(const ProviderMetric& metric, QuotaDisplayMode mode, const QDateTime& now);

/// A symbol size that sits well beside text of a style.
int symbolSize(style::TextStyle textStyle);

} // namespace tallyvue
