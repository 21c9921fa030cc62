// SPDX-License-Identifier: MIT
#include "widget_snapshot/ClaudeCodeLimits.h"

#include "model/SafeFile.h"
#include "model/Timestamp.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLockFile>
#include <QThread>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

constexpr qint64 kMinimumSpacingMs = 1000;
constexpr int kMaxWindows = 16;
constexpr qsizetype kMaxNameLength = 64;
// The same stale-lock age as the history and snapshot locks; but a status line must not wait
// for a writer that hangs, so it gives up after a short while and leaves the write to a later run.
constexpr int kStaleLockMs = 10'000;
constexpr int kWaitMs = 100;

bool writtenRecently(const QString& path, const QDateTime& now)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    const qint64 age = info.lastModified().msecsTo(now);
    return age >= 0 && age < kMinimumSpacingMs; // a file from the future (clock set back) is replaced
}

/// Only the figures, each checked: whatever else Claude Code sends is not ours to keep.
QJsonObject windowsFrom(const QJsonObject& rateLimits)
{
    QJsonObject windows;
    for (auto it = rateLimits.begin(); it != rateLimits.end() && windows.size() < kMaxWindows; ++it) {
        const QJsonObject window = it.value().toObject();
        const QJsonValue used = window.value(u"used_percentage");
        if (it.key().size() > kMaxNameLength || !used.isDouble() || !std::isfinite(used.toDouble()))
            continue;
        QJsonObject kept{{u"used_percentage"_s, used}};
        if (const QJsonValue resets = window.value(u"resets_at"); resets.isDouble() && std::isfinite(resets.toDouble()))
            kept.insert(u"resets_at"_s, resets);
        windows.insert(it.key(), kept);
    }
    return windows;
}

} // namespace

std::optional<QString> claudeCodeLimitsPath()
{
    const auto snapshot = widgetSnapshotPath();
    if (!snapshot)
        return std::nullopt;
    return QFileInfo(*snapshot).path() + u"/claudeCodeLimits.json"_s;
}

std::optional<QString> storeClaudeCodeLimits(const QJsonObject& rateLimits, const QDateTime& now)
{
    const QJsonObject windows = windowsFrom(rateLimits);
    const auto path = claudeCodeLimitsPath();
    if (windows.isEmpty() || !path || writtenRecently(*path, now))
        return std::nullopt;
    if (const auto why = safefile::makePrivateFolder(QFileInfo(*path).path()))
        return why;
    QLockFile lock(*path + u".lock"_s);
    lock.setStaleLockTime(kStaleLockMs);
    const QDeadlineTimer deadline(kWaitMs);
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError)
            return u"cannot lock "_s + lock.fileName();
        if (deadline.hasExpired())
            return std::nullopt;
        QThread::msleep(10);
    }
    if (writtenRecently(*path, now)) // another run stored while this one waited
        return std::nullopt;
    const QJsonObject file{{u"timestamp"_s, formatWholeSecondTimestamp(now)}, {u"rate_limits"_s, windows}};
    return safefile::writeFileAtomically(*path, QJsonDocument(file).toJson(QJsonDocument::Compact) + '\n');
}

std::optional<ClaudeCodeFigures> readClaudeCodeLimits()
{
    const auto path = claudeCodeLimitsPath();
    if (!path)
        return std::nullopt;
    const auto bytes = safefile::readRegularFile(*path, safefile::kMaxSmallFileBytes);
    if (!bytes)
        return std::nullopt;
    const QJsonObject file = QJsonDocument::fromJson(bytes.value()).object();
    const auto asOf = parseTimestamp(file.value(u"timestamp").toString());
    if (!asOf)
        return std::nullopt;
    ClaudeCodeFigures figures{*asOf, {}};
    const QJsonObject windows = file.value(u"rate_limits").toObject();
    const auto window = [&windows](const QString& name) -> std::optional<UsageWindow> {
        const QJsonObject stored = windows.value(name).toObject();
        const double used = stored.value(u"used_percentage").toDouble(NAN);
        const double resets = stored.value(u"resets_at").toDouble(NAN);
        if (!std::isfinite(used))
            return std::nullopt;
        UsageWindow result{used, std::nullopt};
        if (std::isfinite(resets) && std::abs(resets) < 1e11)
            result.resetsAt = formatWholeSecondTimestamp(QDateTime::fromSecsSinceEpoch(qint64(resets), Qt::UTC));
        return result;
    };
    figures.usage.fiveHour = window(u"five_hour"_s);
    figures.usage.sevenDay = window(u"seven_day"_s);
    if (!figures.usage.fiveHour && !figures.usage.sevenDay)
        return std::nullopt;
    return figures;
}

} // namespace tallyvue
