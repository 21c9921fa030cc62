// SPDX-License-Identifier: MIT
#pragma once

#include "logic/UsageModel.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace tallyvue::widget {

/// One timeline entry: what to show from `date` on. No snapshot means the empty state.
struct UsageEntry
{
    QDateTime date;
    std::optional<WidgetSnapshot> snapshot;
};

/// When the host asks for the next timeline.
enum class ReloadPolicy {
    AtEnd, ///< after the last entry
};

struct UsageTimeline
{
    QList<UsageEntry> entries;
    ReloadPolicy policy = ReloadPolicy::AtEnd;
};

using Clock = std::function<QDateTime()>;
/// The wall clock in whole seconds, like the dates in the snapshot file, so countdowns read evenly.
QDateTime systemNow();

/// The gallery and placeholder data, built the first time it is asked for and then kept.
const WidgetSnapshot& sampleSnapshot();

/// "$XDG_DATA_HOME/<shared container>/widgetSnapshot.json", or none when there is no data folder.
std::optional<QString> snapshotFilePath();
/// The whole of a regular file of at most `maxBytes`, not through a link and never blocking
/// (the widget's own copy of the application's rule); none for anything else.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes);
/// The current snapshot file, read whole; every failure gives none, silently.
std::optional<WidgetSnapshot> readSnapshotFile();

/// Builds the host's entries, as the widget host of the desktop would ask for them.
class UsageTimelineProvider
{
public:
    static constexpr int kEntryCount = 30;
    static constexpr int kEntrySpacingSeconds = 60;

    enum class Source {
        File,   ///< the application's snapshot file
        Sample, ///< the sample snapshot, as the gallery preview shows it
    };

    explicit UsageTimelineProvider(Source source = Source::File, Clock clock = systemNow);

    /// One entry at now with the sample snapshot.
    UsageEntry placeholder() const;
    /// The host's quick look: the sample snapshot in a preview, the file otherwise.
    UsageEntry snapshot(bool isPreview) const;
    /// Thirty entries one minute apart, all with one reading of the source; reload at the end.
    UsageTimeline timeline() const;

private:
    std::optional<WidgetSnapshot> read() const;

    Source m_source;
    Clock m_clock;
};

} // namespace tallyvue::widget
