// SPDX-License-Identifier: MIT
#include "logic/UsageTimeline.h"

#include "logic/SnapshotDecoder.h"
#include "logic/WidgetConfiguration.h"

#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes)
{
    // Not a link, not blocking: a FIFO or device at the path is refused at once, never waited on.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat info{};
    QByteArray bytes;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxBytes;
    if (ok) {
        bytes.resize(qsizetype(maxBytes) + 1);
        qsizetype total = 0;
        for (ssize_t got = 1; got != 0 && total < bytes.size();) {
            got = ::read(fd, bytes.data() + total, std::size_t(bytes.size() - total));
            if (got < 0 && errno != EINTR) {
                ok = false;
                break;
            }
            total += std::max<ssize_t>(got, 0);
        }
        ok = ok && total <= maxBytes;
        bytes.truncate(total);
    }
    ::close(fd);
    return ok ? std::optional(bytes) : std::nullopt;
}

std::optional<WidgetSnapshot> readSnapshotFile()
{
    const auto path = snapshotFilePath();
    if (!path)
        return std::nullopt;
    const auto bytes = readRegularFile(*path, kMaxSnapshotBytes);
    return bytes ? decodeSnapshot(*bytes) : std::nullopt;
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
