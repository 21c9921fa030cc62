// SPDX-License-Identifier: MIT
#include "logic/TimelinePlayer.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace tallyvue::widget {

namespace {

/// An atomic replacement is a create, a write and a rename; read once after all of them.
constexpr int kSettleMs = 150;

} // namespace

SnapshotWatcher::SnapshotWatcher(QString filePath, QObject* parent) : QObject(parent), m_filePath(std::move(filePath))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &SnapshotWatcher::changed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &SnapshotWatcher::onChange);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &SnapshotWatcher::onChange);
    rearm();
}

void SnapshotWatcher::onChange()
{
    rearm();
    m_settle.start();
}

void SnapshotWatcher::rearm()
{
    // A replaced file is a new inode and a new folder may have appeared: watch afresh each time.
    if (const QStringList watched = m_watcher.files() + m_watcher.directories(); !watched.isEmpty())
        m_watcher.removePaths(watched);
    if (QFileInfo::exists(m_filePath))
        m_watcher.addPath(m_filePath);
    QString path = QFileInfo(m_filePath).absolutePath();
    while (!QFileInfo(path).isDir()) {
        const QString parent = QFileInfo(path).absolutePath();
        if (parent == path)
            return;
        path = parent;
    }
    m_watcher.addPath(path);
}

TimelinePlayer::TimelinePlayer(UsageTimelineProvider provider, Clock clock, QObject* parent)
    : QObject(parent), m_provider(std::move(provider)), m_clock(std::move(clock))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { show(true); });
    reload();
}

const UsageEntry& TimelinePlayer::currentEntry() const
{
    return m_timeline.entries.at(m_index);
}

void TimelinePlayer::reload()
{
    m_timeline = m_provider.timeline();
    m_index = -1;
    show(false);
}

void TimelinePlayer::show(bool mayReload)
{
    const QDateTime now = m_clock();
    const TimelinePosition position = positionAt(m_timeline, now);
    if (position.pastEnd && mayReload) {
        reload();
        return;
    }
    // A fresh timeline already behind this clock tries again a minute on.
    const QDateTime wake =
        position.pastEnd ? now.addSecs(UsageTimelineProvider::kEntrySpacingSeconds) : position.nextChange;
    m_timer.start(int(std::clamp<qint64>(now.msecsTo(wake), 0, std::numeric_limits<int>::max())));
    if (position.index != m_index) {
        m_index = position.index;
        Q_EMIT entryChanged();
    }
}

TimelinePosition positionAt(const UsageTimeline& timeline, const QDateTime& now)
{
    const auto& entries = timeline.entries;
    const QDateTime end = entries.last().date.addSecs(UsageTimelineProvider::kEntrySpacingSeconds);
    const auto reached =
        std::find_if(entries.crbegin(), entries.crend(), [&](const UsageEntry& e) { return e.date <= now; });
    const qsizetype index = reached == entries.crend() ? 0 : entries.size() - 1 - (reached - entries.crbegin());
    const QDateTime next = index + 1 < entries.size() ? entries.at(index + 1).date : end;
    return {index, next, now >= end};
}

} // namespace tallyvue::widget
