// SPDX-License-Identifier: MIT
#include "widget_snapshot/WidgetSnapshot.h"
#include "model/Timestamp.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {
QDateTime at(const char* text)
{
    return *parseTimestamp(QString::fromLatin1(text));
}
} // namespace

// The written file is one compact JSON object with whole-second UTC dates; optional keys are
// left out, not written as null.
TEST(WidgetSnapshot, WritesTheFileForm)
{
    const WidgetSnapshot snapshot{
        at("2026-01-05T14:03:27.9Z"),
        {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42.5, at("2026-01-05T17:00:00.47Z"), 18000},
         {AIProvider::Copilot, u"chat"_s, u"Chat"_s, 120, std::nullopt, std::nullopt}},
        u"Claude:session"_s,
        QuotaDisplayMode::Remaining};
    writeWidgetSnapshotFile(snapshot);
    QFile file(*widgetSnapshotPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(widgetSnapshotPath()->endsWith(u"/K2V8R4NW7T.com.tallyvue.shared/widgetSnapshot.json"));
    EXPECT_EQ(
        file.readAll(),
        R"({"timestamp":"2026-01-05T14:03:27Z","metrics":[{"provider":"Claude","kind":"session","title":"5-Hour",)"
        R"("percent":42.5,"resetsAt":"2026-01-05T17:00:00Z","windowLength":18000},{"provider":"Copilot",)"
        R"("kind":"chat","title":"Chat","percent":120}],"primaryMetricID":"Claude:session","displayMode":"remaining"})");

    WidgetSnapshot expected = snapshot;
    expected.timestamp = at("2026-01-05T14:03:27Z");
    expected.metrics[0].resetsAt = at("2026-01-05T17:00:00Z");
    EXPECT_EQ(decodeWidgetSnapshot(encodeWidgetSnapshot(snapshot)), expected);
}
