// SPDX-License-Identifier: MIT
#include "logic/UsageTimeline.h"
#include "logic/TimelinePlayer.h"
#include "support/Files.h"

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

// The gallery and the placeholder show the sample whatever the file says; the quick look outside a preview reads the
// file, and a file it cannot read gives no snapshot. The timeline runs thirty minutes and has run out at its end.
TEST_F(UsageTimelineTest, PreviewAndPlaceholderShowTheSample)
{
    write(kFile);
    const UsageTimelineProvider provider(UsageTimelineProvider::Source::File, [] { return kNow; });
    const UsageTimeline timeline = provider.timeline();
    ASSERT_EQ(timeline.entries.size(), 30);
    EXPECT_EQ(positionAt(timeline, kNow.addSecs(1799)).index, 29);
    EXPECT_TRUE(positionAt(timeline, kNow.addSecs(1800)).pastEnd);
    EXPECT_EQ(provider.placeholder().snapshot, sampleSnapshot());
    EXPECT_EQ(provider.placeholder().date, kNow);
    EXPECT_EQ(provider.snapshot(true).snapshot, sampleSnapshot());
    EXPECT_EQ(provider.snapshot(false).snapshot->metrics.size(), 1);
    const UsageTimelineProvider preview(UsageTimelineProvider::Source::Sample, [] { return kNow; });
    EXPECT_EQ(preview.timeline().entries.last().snapshot, sampleSnapshot());
    write("{");
    EXPECT_FALSE(provider.snapshot(false).snapshot);
}
