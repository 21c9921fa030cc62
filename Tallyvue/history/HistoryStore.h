// SPDX-License-Identifier: MIT
#pragma once

#include "model/ProviderMetric.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace tallyvue {

/// One recorded refresh.
struct UsageSnapshot
{
    /// One limit window at that moment.
    struct LimitPoint
    {
        AIProvider provider = AIProvider::Claude;
        QString kind;
        double percent = 0;
        std::optional<QString> displayName;
        std::optional<QDateTime> resetsAt;

        /// "Claude:weekly_all": the same text as the id of the metric it came from.
        QString seriesKey() const { return metricId(provider, kind); }
        friend bool operator==(const LimitPoint&, const LimitPoint&) = default;
    };

    QDateTime timestamp;
    QList<LimitPoint> limits;

    friend bool operator==(const UsageSnapshot&, const UsageSnapshot&) = default;
};

/**
 * The rolling 14-day record of refreshes in usageHistory.jsonl, one compact JSON object per
 * line. The store keeps no state: the file is the history. All calls run on the main thread;
 * failures are silent (a damaged line is skipped, a failed write leaves the old file). Record and
 * clear hold usageHistory.jsonl.lock, so the app and tallyvue-cli never drop each other's lines.
 */
namespace HistoryStore {

inline constexpr qint64 kRetentionSeconds = 14 * 24 * 3600;

/// $XDG_DATA_HOME/Tallyvue/usageHistory.jsonl; creates the folder when missing.
QString filePath();

QList<UsageSnapshot> load();
/// Appends a snapshot of `metrics` taken at `now`, drops snapshots older than 14 days, rewrites the file.
void record(const QList<ProviderMetric>& metrics, const QDateTime& now = QDateTime::currentDateTimeUtc());
void clear();
/// The whole history as CSV text ("timestamp,provider,kind,title,percent,resets_at").
QString exportCSV();

QList<UsageSnapshot::LimitPoint> limitPoints(const UsageSnapshot& snapshot, AIProvider provider);
std::optional<UsageSnapshot::LimitPoint> point(const UsageSnapshot& snapshot, QStringView seriesKey);

/// One line of the file, without its line feed; nothing when it is not a valid snapshot.
std::optional<UsageSnapshot> decodeLine(QByteArrayView line);
/// One compact line, without a line feed; nothing when a number cannot be written as JSON.
std::optional<QByteArray> encodeLine(const UsageSnapshot& snapshot);

} // namespace HistoryStore

namespace detail {
/// JSON string literal with the escapes JSON requires.
void appendJsonString(QByteArray& out, QStringView text);
void appendJsonString(std::string& out, std::string_view utf8);
/// Shortest text that reads back as the same double; nothing for NaN or infinity.
std::optional<QByteArray> shortestDouble(double value);
void appendShortestDouble(std::string& out, double value);
/// Shortest round-trip decimal with at least one digit after the point ("42.0", "12.5", "1e-05").
QByteArray decimalText(double value);
} // namespace detail

} // namespace tallyvue
