// SPDX-License-Identifier: MIT
#include "logic/UsageTimeline.h"

#include "logic/SnapshotDecoder.h"
#include "logic/WidgetConfiguration.h"

#include <QFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace tallyvue::widget {

namespace {

/// The application writes a few kilobytes; anything far larger is not its file.
constexpr qint64 kMaxSnapshotBytes = 4 * 1024 * 1024;

WidgetSnapshot buildSample(const QDateTime& now)
{
    const auto in = [&now](qint64 seconds) { return std::optional(now.addSecs(seconds)); };
    WidgetSnapshot sample;
    sample.timestamp = now;
    sample.metrics = {
        {AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42, in(7200), 18000},
        {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 18, in(259200), 604800},
        {AIProvider::ChatGPT, u"primary"_s, u"5-Hour"_s, 63, in(5400), 18000},
        {AIProvider::Copilot, u"premium_interactions"_s, u"Premium"_s, 7, std::nullopt, std::nullopt},
    };
    sample.primaryMetricID = u"Claude:session"_s;
    sample.displayMode = QuotaDisplayMode::Used;
    return sample;
}

} // namespace

QDateTime systemNow()
{
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(ms - ms % 1000, Qt::UTC);
}

const WidgetSnapshot& sampleSnapshot()
{
    static const WidgetSnapshot sample = buildSample(systemNow());
    return sample;
}

std::optional<QString> snapshotFilePath()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return std::nullopt;
    return data % u'/' % kSharedContainer % u'/' % kSnapshotFileName;
}

std::optional<WidgetSnapshot> readSnapshotFile()
{
    const auto path = snapshotFilePath();
    if (!path)
        return std::nullopt;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSnapshotBytes)
        return std::nullopt;
    return decodeSnapshot(file.read(kMaxSnapshotBytes + 1));
}

UsageTimelineProvider::UsageTimelineProvider(Source source, Clock clock) : m_source(source), m_clock(std::move(clock))
{
}

std::optional<WidgetSnapshot> UsageTimelineProvider::read() const
{
    return m_source == Source::Sample ? std::optional(sampleSnapshot()) : readSnapshotFile();
}

UsageEntry UsageTimelineProvider::placeholder() const
{
    return {m_clock(), sampleSnapshot()};
}

UsageEntry UsageTimelineProvider::snapshot(bool isPreview) const
{
    if (isPreview)
        return {m_clock(), sampleSnapshot()};
    return {m_clock(), read()};
}

UsageTimeline UsageTimelineProvider::timeline() const
{
    const auto current = read();
    UsageTimeline timeline;
    for (int i = 0; i < kEntryCount; ++i)
        timeline.entries.append({m_clock().addSecs(qint64(i) * kEntrySpacingSeconds), current});
    timeline.policy = ReloadPolicy::AtEnd;
    return timeline;
}

} // namespace tallyvue::widget
