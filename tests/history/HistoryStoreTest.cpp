// SPDX-License-Identifier: MIT
#include "history/HistoryStore.h"
#include "model/Timestamp.h"
#include "support/Files.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

QDateTime at(const char* text)
{
    return *parseTimestamp(QString::fromLatin1(text));
}

QByteArray fileText(const QString& path = HistoryStore::filePath())
{
    return test::readFile(path);
}

ProviderMetric metric(AIProvider provider, const char* kind, double percent, std::optional<QString> title = {},
                      std::optional<QDateTime> reset = {})
{
    return {provider, QString::fromLatin1(kind), title.value_or(QString()), percent, reset, std::nullopt};
}

} // namespace

class HistoryStoreTest : public ::testing::Test
{
protected:
    void SetUp() override { HistoryStore::clear(); }
};

// A recorded refresh reads back exactly, and the line is one compact JSON object with whole-second
// UTC dates; a metric without a title or reset time has no "displayName" or "resetsAt" key.
TEST_F(HistoryStoreTest, RecordWritesCompactLinesThatLoadBack)
{
    const QDateTime now = at("2026-01-05T14:03:22.750Z");
    const QString title = u"5-Hour \"q\" back\\ tab\t nl\n"_s; // escaped, on one line
    HistoryStore::record({metric(AIProvider::Claude, "session", 42, title, at("2026-01-05T17:00:00.477734+00:00")),
                          metric(AIProvider::Copilot, "chat", 12.5)},
                         now);
    EXPECT_EQ(fileText(), R"({"timestamp":"2026-01-05T14:03:22Z","limits":[{"provider":"Claude","kind":"session",)"
                          R"("percent":42,"displayName":"5-Hour \"q\" back\\ tab\t nl\n",)"
                          R"("resetsAt":"2026-01-05T17:00:00Z"},)"
                          R"({"provider":"Copilot","kind":"chat","percent":12.5}]})"
                          "\n");

    const auto history = HistoryStore::load();
    ASSERT_EQ(history,
              (QList<UsageSnapshot>{{at("2026-01-05T14:03:22Z"),
                                     {{AIProvider::Claude, u"session"_s, 42, title, at("2026-01-05T17:00:00Z")},
                                      {AIProvider::Copilot, u"chat"_s, 12.5, std::nullopt, std::nullopt}}}}));
}

// Lines this version cannot read (another version's provider or keys, damaged text) are skipped
// on load and kept byte for byte by the next record; only a readable time older than 14 days
// drops a line (one exactly 14 days old stays). A line holding an unknown provider still shows
// its known points.
TEST_F(HistoryStoreTest, KeepsLinesItCannotRead)
{
    const QByteArray lines[] = {
        R"({"limits":[{"kind":"session","percent":10,"extra":{"a":[1]}}],"timestamp":"2026-01-05T10:00:00Z","x":1})",
        R"({"timestamp":"2026-01-05T10:30:00.5Z","limits":[]})",
        R"({"timestamp":"2026-01-05T10:40:00Z","limits":[{"provider":"Gemini","kind":"a","percent":1},)"
        R"({"provider":"Claude","kind":"session","percent":20}]})",
        R"({"timestamp":"2026-01-05T10:41:00","limits":[]})",
        R"({"timestamp":"2026-01-05T10:42:00Z","limits":[{"kind":"a","percent":"1"}]})",
        R"({"timestamp":"2026-01-05T10:43:00Z","limits":[{"kind":"a","percent":1,"resetsAt":"soon"}]})",
        "not json",
        R"({"timestamp":"2026-01-05T11:00:00+01:00","limits":[]})",
        R"({"timestamp":"2025-12-22T12:00:00Z","limits":[]})",
    };
    const QByteArray pruned =
        R"({"timestamp":"2025-12-22T11:59:59Z","limits":[{"provider":"Gemini","kind":"a","percent":1}]})";
    QByteArray text = pruned + "\n\n";
    for (const QByteArray& line : lines)
        text += line + '\n';
    test::writeFile(HistoryStore::filePath(), text);
    auto history = HistoryStore::load();
    ASSERT_EQ(history.size(), 4);
    EXPECT_EQ(history[0].limits[0].provider, AIProvider::Claude); // a missing provider reads as Claude
    ASSERT_EQ(history[1].limits.size(), 1);
    EXPECT_EQ(history[1].limits[0].percent, 20);
    EXPECT_EQ(history[2].timestamp, at("2026-01-05T10:00:00Z"));

    const QByteArray before = fileText();
    HistoryStore::record({}, at("2026-01-05T12:00:00Z"));
    EXPECT_EQ(fileText(), before);

    EXPECT_FALSE(HistoryStore::record({metric(AIProvider::ChatGPT, "primary", 5)}, at("2026-01-05T12:00:00Z")));
    QByteArray expected;
    for (const QByteArray& line : lines)
        expected += line + '\n';
    expected += R"({"timestamp":"2026-01-05T12:00:00Z","limits":[{"provider":"ChatGPT","kind":"primary","percent":5}]})"
                "\n";
    EXPECT_EQ(fileText(), expected);
}

// CSV: quoting of titles, shortest percent with a decimal point, empty reset, a kind that would
// otherwise break the row, and control characters from a service replaced (ESC never reaches a
// terminal or spreadsheet, a line break never splits a row).
TEST_F(HistoryStoreTest, ExportsCsv)
{
    EXPECT_EQ(HistoryStore::exportCSV().value(), "timestamp,provider,kind,title,percent,resets_at\n");
    HistoryStore::record({metric(AIProvider::Claude, "session", 42, u"Say \"hi\""_s, at("2026-01-05T17:00:00.9Z")),
                          metric(AIProvider::ChatGPT, "code_review.primary", 12.5),
                          metric(AIProvider::Copilot, "odd,kind\"x", 0.1, u"T"_s),
                          metric(AIProvider::Copilot, "k\x1b[2J\n", 1, u"\x1b]0;title\x07\r\nnext"_s)},
                         at("2026-01-05T14:03:22Z"));
    EXPECT_EQ(QString::fromUtf8(HistoryStore::exportCSV().value()),
              u"timestamp,provider,kind,title,percent,resets_at\n"
              "2026-01-05T14:03:22Z,Claude,session,\"Say \"\"hi\"\"\",42.0,2026-01-05T17:00:00Z\n"
              "2026-01-05T14:03:22Z,ChatGPT,code_review.primary,\"\",12.5,\n"
              "2026-01-05T14:03:22Z,Copilot,\"odd,kind\"\"x\",\"T\",0.1,\n"
              "2026-01-05T14:03:22Z,Copilot,k\uFFFD[2J ,\"\uFFFD]0;title\uFFFD  next\",1.0,\n"_s);
}

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
    EXPECT_EQ(
        fileText(*widgetSnapshotPath()),
        R"({"timestamp":"2026-01-05T14:03:27Z","metrics":[{"provider":"Claude","kind":"session","title":"5-Hour",)"
        R"("percent":42.5,"resetsAt":"2026-01-05T17:00:00Z","windowLength":18000},{"provider":"Copilot",)"
        R"("kind":"chat","title":"Chat","percent":120}],"primaryMetricID":"Claude:session","displayMode":"remaining"})");
}
