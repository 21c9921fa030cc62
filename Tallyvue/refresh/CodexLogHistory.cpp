// SPDX-License-Identifier: MIT
#include "refresh/CodexLogHistory.h"

#include "local/CodexLimitsTimeline.h"
#include "model/Log.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QPointer>
#include <QThreadPool>

using namespace Qt::StringLiterals;

namespace tallyvue {

CodexUsage codexLogUsage(const CodexRateLimits& limits)
{
    const QDateTime asOf = QDateTime::fromSecsSinceEpoch(limits.timestamp / 1000, Qt::UTC);
    QJsonObject rateLimit;
    for (const auto& [name, window] :
         {std::pair{u"primary_window"_s, limits.primary}, std::pair{u"secondary_window"_s, limits.secondary}}) {
        if (!window.present)
            continue;
        QJsonObject json{{u"used_percent"_s, window.usedPercent}};
        if (window.windowMinutes)
            json.insert(u"window_minutes"_s, qint64(window.windowMinutes));
        if (window.resetsAt)
            json.insert(u"reset_after_seconds"_s, qint64(window.resetsAt - asOf.toSecsSinceEpoch()));
        rateLimit.insert(name, json);
    }
    return CodexService::parseUsage(QJsonObject{{u"rate_limit"_s, rateLimit}}, asOf);
}

QList<UsageSnapshot> codexLogSnapshots(const std::vector<CodexRateLimits>& timeline)
{
    QList<UsageSnapshot> snapshots;
    snapshots.reserve(qsizetype(timeline.size()));
    for (const CodexRateLimits& limits : timeline) {
        UsageSnapshot snapshot{QDateTime::fromMSecsSinceEpoch(limits.timestamp, Qt::UTC), {}};
        for (const ProviderMetric& metric : codexMetrics(codexLogUsage(limits)))
            snapshot.limits.append({metric.provider, metric.kind, metric.percent,
                                    metric.title.isEmpty() ? std::nullopt : std::optional(metric.title),
                                    metric.resetsAt});
        if (!snapshot.limits.isEmpty())
            snapshots.append(std::move(snapshot));
    }
    return snapshots;
}

void seedHistoryFromCodexLogs(const QString& sessionsRoot, QObject* receiver, std::function<void(qsizetype)> done)
{
    QThreadPool::globalInstance()->start([sessionsRoot, guard = QPointer(receiver), done = std::move(done)] {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QList<UsageSnapshot> snapshots = codexLogSnapshots(codexLimitsTimeline(sessionsRoot, now.toMSecsSinceEpoch()));
        if (snapshots.isEmpty())
            return;
        // The application outlives the pool's tasks (it waits for them); the receiver may not.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [guard, now, snapshots = std::move(snapshots), done]() mutable {
                if (!guard)
                    return;
                const auto added = HistoryStore::recordEarlier(AIProvider::ChatGPT, std::move(snapshots), now);
                if (!added) {
                    log(u"History not seeded from Codex's logs: "_s + added.error());
                    return;
                }
                if (*added > 0)
                    log(u"History seeded with %1 points from Codex's logs"_s.arg(*added));
                done(*added);
            });
    });
}

} // namespace tallyvue
