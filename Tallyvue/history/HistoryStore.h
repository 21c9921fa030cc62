// SPDX-License-Identifier: MIT
#pragma once

#include "model/ProviderMetric.h"
#include "model/Result.h"

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
 * line. The store keeps no state: the file is the history. All calls run on the main thread.
 * A line this version cannot read is skipped on load and kept byte for byte on rewrite, so older
 * and newer versions share one file. A history that exists but cannot be read (not a regular
 * file, unreadable, too large, not UTF-8) is never rewritten; a failed write leaves the old file.
 * Failures are returned as text that names the file. Record and clear hold
 * usageHistory.jsonl.lock, so the app and tallyvue-cli never drop each other's lines.
 */
namespace HistoryStore {

inline constexpr qint64 kRetentionSeconds = 14 * 24 * 3600;

/// $XDG_DATA_HOME/Tallyvue/usageHistory.jsonl; creates the folder (0700) when missing.
QString filePath();

/// Every snapshot; empty when there is no file, an error when it exists but cannot be read.
Result<QList<UsageSnapshot>, QString> read();
/// read(), with nothing for a history that cannot be read.
QList<UsageSnapshot> load();
/// Appends a snapshot of `metrics` taken at `now`, drops lines older than 14 days, rewrites the
/// file (mode 0600, in a folder created 0700). Nothing on success or when `metrics` is empty;
/// else what failed, with the file left as it was.
std::optional<QString> record(const QList<ProviderMetric>& metrics,
                              const QDateTime& now = QDateTime::currentDateTimeUtc());
/// Adds `snapshots` that hold only `provider`'s points, are at most 14 days old and come before
/// every point of `provider` the history holds, each in its place in time; the rest are left out.
/// How many were added, or what failed, with the file left as it was.
Result<qsizetype, QString> recordEarlier(AIProvider provider, QList<UsageSnapshot> snapshots,
                                         const QDateTime& now = QDateTime::currentDateTimeUtc());
/// Deletes the file; nothing on success (also when there was none), else what failed.
std::optional<QString> clear();
/// The whole history as CSV text in UTF-8 ("timestamp,provider,kind,title,percent,resets_at"),
/// control characters replaced; an error when the history cannot be read.
Result<QByteArray, QString> exportCSV();

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
