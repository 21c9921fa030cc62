// SPDX-License-Identifier: MIT
#pragma once

// The widget's own copies of the record types it shares with the application through the
// snapshot file. They must keep the application's raw values and JSON keys, nothing more.

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace tallyvue::widget {

enum class AIProvider { Claude, ChatGPT, Copilot };

/// "Claude", "ChatGPT", "Copilot": the JSON form and the prefix of every metric id.
QString rawValue(AIProvider provider);
/// Exact inverse of rawValue(); anything else is no provider.
std::optional<AIProvider> providerFromRaw(QStringView raw);
/// The one-letter mark of a medium-widget row: "C", "G", "P".
QString providerLetter(AIProvider provider);

enum class QuotaDisplayMode { Used, Remaining };

QString rawValue(QuotaDisplayMode mode);
/// Exactly "used" or "remaining"; anything else is no mode.
std::optional<QuotaDisplayMode> displayModeFromRaw(QStringView raw);

/// One limit window of one provider.
struct ProviderMetric
{
    AIProvider provider = AIProvider::Claude;
    QString kind;
    QString title;
    double percent = 0; ///< used, as the application holds it (not clamped)
    std::optional<QDateTime> resetsAt;
    std::optional<double> windowLength; ///< seconds

    /// "Claude:session".
    QString id() const;

    friend bool operator==(const ProviderMetric&, const ProviderMetric&) = default;
};

/// What the application last wrote for the widget.
struct WidgetSnapshot
{
    QDateTime timestamp;
    QList<ProviderMetric> metrics;
    std::optional<QString> primaryMetricID;
    QuotaDisplayMode displayMode = QuotaDisplayMode::Used;

    friend bool operator==(const WidgetSnapshot&, const WidgetSnapshot&) = default;
};

/// The small widget's metric: the chosen one, else Claude's session, else the first, else none.
std::optional<ProviderMetric> primaryMetric(const WidgetSnapshot& snapshot);

inline constexpr qsizetype kMediumRowLimit = 5;

/// The medium widget's rows: Claude's per-model weekly windows moved last (stably), then the first five.
QList<ProviderMetric> mediumMetrics(const WidgetSnapshot& snapshot);

} // namespace tallyvue::widget
