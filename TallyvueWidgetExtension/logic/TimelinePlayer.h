// SPDX-License-Identifier: MIT
#pragma once

// The Linux stand-in for the desktop's widget host: plays a timeline entry by entry, asks for
// the next one at its end, and starts over when the application replaces the snapshot file.

#include "logic/UsageTimeline.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace tallyvue::widget {

/// Tells when a file may have changed, including an atomic replacement (a rename in its folder).
class SnapshotWatcher : public QObject
{
    Q_OBJECT

public:
    /// The folder of `filePath` need not exist yet; the nearest existing parent is watched until it does.
    explicit SnapshotWatcher(QString filePath, QObject* parent = nullptr);

Q_SIGNALS:
    /// Once per burst of changes, shortly after the last.
    void changed();

private:
    void rearm();
    void onChange();

    QString m_filePath;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
};

/// Where a timeline stands at a moment.
struct TimelinePosition
{
    qsizetype index = 0;  ///< the entry to show: the last one whose date has come (the first before any has)
    QDateTime nextChange; ///< when the next entry is due, or the timeline's end after the last
    bool pastEnd = false; ///< the last entry has had its minute (or the machine slept through it): reload
};

/// A timeline's position at `now`; the timeline must have at least one entry.
TimelinePosition positionAt(const UsageTimeline& timeline, const QDateTime& now);

class TimelinePlayer : public QObject
{
    Q_OBJECT

public:
    explicit TimelinePlayer(UsageTimelineProvider provider, Clock clock = systemNow, QObject* parent = nullptr);

    /// The entry whose date was reached last (the first one before any was reached).
    const UsageEntry& currentEntry() const;
    /// Asks for a new timeline now, as "reload all timelines" does.
    void reload();

Q_SIGNALS:
    void entryChanged();

private:
    void show(bool mayReload);

    UsageTimelineProvider m_provider;
    Clock m_clock;
    UsageTimeline m_timeline;
    qsizetype m_index = -1;
    QTimer m_timer;
};

} // namespace tallyvue::widget
