// SPDX-License-Identifier: MIT
#include "logic/UsageTimeline.h"
#include "logic/TimelinePlayer.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyvue::widget;

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 1, 5), QTime(12, 0), Qt::UTC);

/// Each test process has its own empty XDG_DATA_HOME, so this is a private copy of the real location.
class UsageTimelineTest : public ::testing::Test
{
protected:
    void TearDown() override { QFile::remove(path()); }

    static QString path() { return snapshotFilePath().value(); }
    static void write(const QByteArray& bytes) { tallyvue::test::writeFile(path(), bytes); }
};

const QByteArray kFile =
    R"({"timestamp":"2026-01-05T11:58:00Z","metrics":[{"provider":"ChatGPT","kind":"primary","title":"5-Hour","percent":63}]})";

} // namespace

// Thirty entries a minute apart from a fresh reading of the clock, all with the one snapshot read; reload at the end.
TEST_F(UsageTimelineTest, TimelineOfThirtyMinutes)
{
    write(kFile);
    int reads = 0;
    const UsageTimelineProvider provider(UsageTimelineProvider::Source::File, [&reads] {
        ++reads;
        return kNow;
    });
    const UsageTimeline timeline = provider.timeline();
    EXPECT_EQ(reads, 30);
    ASSERT_EQ(timeline.entries.size(), 30);
    EXPECT_EQ(timeline.policy, ReloadPolicy::AtEnd);
    for (int i = 0; i < 30; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(timeline.entries[i].date, kNow.addSecs(60 * i));
        ASSERT_TRUE(timeline.entries[i].snapshot);
        EXPECT_EQ(timeline.entries[i].snapshot->metrics.at(0).id(), u"ChatGPT:primary"_s);
    }
}

// No file, an unreadable one, a foreign one or an oversized one: every entry is empty, nothing is thrown or shown.
TEST_F(UsageTimelineTest, FailuresGiveNoSnapshot)
{
    const UsageTimelineProvider provider(UsageTimelineProvider::Source::File, [] { return kNow; });
    EXPECT_FALSE(provider.timeline().entries.first().snapshot);
    for (const QByteArray& bytes :
         {QByteArray("{"), QByteArray(R"({"metrics":[]})"), QByteArray(QByteArray(5 * 1024 * 1024, ' ') + kFile)}) {
        write(bytes);
        const UsageTimeline timeline = provider.timeline();
        EXPECT_EQ(timeline.entries.size(), 30);
        EXPECT_FALSE(timeline.entries.last().snapshot);
    }
    QFile::remove(path());
    QDir().mkpath(path()); // a folder where the file should be
    EXPECT_FALSE(provider.snapshot(false).snapshot);
    QDir().rmdir(path());
}

// The gallery and the placeholder show the sample whatever the file says; the quick look outside a preview reads the
// file.
TEST_F(UsageTimelineTest, PreviewAndPlaceholderShowTheSample)
{
    write(kFile);
    const UsageTimelineProvider provider(UsageTimelineProvider::Source::File, [] { return kNow; });
    EXPECT_EQ(provider.placeholder().snapshot, sampleSnapshot());
    EXPECT_EQ(provider.placeholder().date, kNow);
    EXPECT_EQ(provider.snapshot(true).snapshot, sampleSnapshot());
    EXPECT_EQ(provider.snapshot(false).snapshot->metrics.size(), 1);
    const UsageTimelineProvider preview(UsageTimelineProvider::Source::Sample, [] { return kNow; });
    EXPECT_EQ(preview.timeline().entries.last().snapshot, sampleSnapshot());
}

// Which entry shows as time passes, when the next one is due, and when the timeline has run out
// (also after the machine slept past its end).
TEST_F(UsageTimelineTest, PositionInTheTimeline)
{
    const UsageTimeline timeline =
        UsageTimelineProvider(UsageTimelineProvider::Source::Sample, [] { return kNow; }).timeline();
    struct Case
    {
        qint64 secondsAfterStart;
        qsizetype index;
        qint64 nextChangeAfterStart;
        bool pastEnd;
    };
    for (const Case& c : {Case{-30, 0, 60, false}, Case{0, 0, 60, false}, Case{59, 0, 60, false},
                          Case{60, 1, 120, false}, Case{1000, 16, 1020, false}, Case{1740, 29, 1800, false},
                          Case{1799, 29, 1800, false}, Case{1800, 29, 1800, true}, Case{86400, 29, 1800, true}}) {
        SCOPED_TRACE(c.secondsAfterStart);
        const TimelinePosition position = positionAt(timeline, kNow.addSecs(c.secondsAfterStart));
        EXPECT_EQ(position.index, c.index);
        EXPECT_EQ(position.nextChange, kNow.addSecs(c.nextChangeAfterStart));
        EXPECT_EQ(position.pastEnd, c.pastEnd);
    }
}
