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

// The written file is the documented form: whole-second dates, optional keys left out.
TEST(WidgetSnapshot, WritesDocumentedForm)
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

// The reader rejects a file that misses a required key or holds an unknown value, and
// ignores keys it does not know.
TEST(WidgetSnapshot, DecodingRules)
{
    const QByteArray metric = R"({"provider":"ChatGPT","kind":"primary","title":"5-Hour","percent":3})";
    const std::pair<QByteArray, bool> cases[] = {
        {R"({"timestamp":"2026-01-05T14:03:27Z","metrics":[)" + metric + "]}", true},
        {R"({"timestamp":"2026-01-05T14:03:27.123Z","metrics":[],"extra":{"a":1}})", true},
        {R"({"metrics":[]})", false},
        {R"({"timestamp":"2026-01-05T14:03:27Z"})", false},
        {R"({"timestamp":"2026-01-05T14:03:27","metrics":[]})", false},
        {R"({"timestamp":"2026-01-05T14:03:27Z","metrics":[],"displayMode":"left"})", false},
        {R"({"timestamp":"2026-01-05T14:03:27Z","metrics":[{"provider":"Gemini","kind":"a","title":"b","percent":1}]})",
         false},
        {R"({"timestamp":"2026-01-05T14:03:27Z","metrics":[{"provider":"Claude","kind":"a","percent":1}]})", false},
        {"[]", false},
        {"", false},
    };
    for (const auto& [json, accepted] : cases) {
        SCOPED_TRACE(json.toStdString());
        EXPECT_EQ(decodeWidgetSnapshot(json).has_value(), accepted);
    }
    EXPECT_EQ(decodeWidgetSnapshot(cases[0].first)->displayMode, QuotaDisplayMode::Used);
}
