// SPDX-License-Identifier: MIT
#include "logic/SnapshotDecoder.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyvue::widget;

namespace {

QDateTime utc(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toUTC();
}

/// A well-formed file with `metric` as its only metric and `extra` added to the top level.
QByteArray fileWith(const char* metric, const char* extra = "")
{
    return QByteArray(R"({"timestamp":"2026-01-05T14:03:27Z",)") + extra + R"("metrics":[)" + metric + "]}";
}

constexpr const char* kMetric = R"({"provider":"Claude","kind":"session","title":"5-Hour","percent":42.5})";

} // namespace

// A file as the application writes it comes back field by field.
TEST(SnapshotDecoder, ReadsEveryField)
{
    const auto snapshot = decodeSnapshot(R"({
        "timestamp": "2026-01-05T14:03:27Z",
        "metrics": [
            {"provider": "Claude", "kind": "session", "title": "5-Hour", "percent": 42.5,
             "resetsAt": "2026-01-05T16:00:00Z", "windowLength": 18000},
            {"provider": "Copilot", "kind": "premium_interactions", "title": "Premium", "percent": 7}
        ],
        "primaryMetricID": "Claude:session",
        "displayMode": "remaining"
    })");
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->timestamp, utc("2026-01-05T14:03:27Z"));
    ASSERT_EQ(snapshot->metrics.size(), 2);
    const ProviderMetric claude{AIProvider::Claude,          u"session"_s, u"5-Hour"_s, 42.5,
                                utc("2026-01-05T16:00:00Z"), 18000.0};
    EXPECT_EQ(snapshot->metrics[0], claude);
    const ProviderMetric copilot{AIProvider::Copilot, u"premium_interactions"_s, u"Premium"_s, 7, std::nullopt,
                                 std::nullopt};
    EXPECT_EQ(snapshot->metrics[1], copilot);
    EXPECT_EQ(snapshot->primaryMetricID, u"Claude:session"_s);
    EXPECT_EQ(snapshot->displayMode, QuotaDisplayMode::Remaining);
}

// Optional keys may be missing or null; unknown keys are ignored; an empty metric list is still a snapshot.
TEST(SnapshotDecoder, AcceptsWhatReadersMustTolerate)
{
    struct Case
    {
        const char* name;
        QByteArray json;
        QuotaDisplayMode mode;
        bool hasPrimary;
    };
    const Case cases[] = {
        {"no display mode", fileWith(kMetric), QuotaDisplayMode::Used, false},
        {"null display mode", fileWith(kMetric, R"("displayMode":null,)"), QuotaDisplayMode::Used, false},
        {"used", fileWith(kMetric, R"("displayMode":"used",)"), QuotaDisplayMode::Used, false},
        {"null primary", fileWith(kMetric, R"("primaryMetricID":null,)"), QuotaDisplayMode::Used, false},
        {"primary naming nothing", fileWith(kMetric, R"("primaryMetricID":"ChatGPT:x",)"), QuotaDisplayMode::Used,
         true},
        {"unknown keys",
         fileWith(R"({"provider":"Claude","kind":"session","title":"5-Hour","percent":1,"extra":[1]})",
                  R"("version":3,"more":{"a":null},)"),
         QuotaDisplayMode::Used, false},
        {"null optionals", fileWith(R"({"provider":"Claude","kind":"k","title":"t","percent":1,"resetsAt":null,
                                        "windowLength":null})"),
         QuotaDisplayMode::Used, false},
        {"no metrics", fileWith(""), QuotaDisplayMode::Used, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto snapshot = decodeSnapshot(c.json);
        ASSERT_TRUE(snapshot);
        EXPECT_EQ(snapshot->displayMode, c.mode);
        EXPECT_EQ(snapshot->primaryMetricID.has_value(), c.hasPrimary);
        for (const ProviderMetric& metric : snapshot->metrics) {
            EXPECT_FALSE(metric.resetsAt);
            EXPECT_FALSE(metric.windowLength);
        }
    }
}

// Anything a reader must refuse makes the whole file unreadable (the widget then shows its empty state).
TEST(SnapshotDecoder, RefusesTheWholeFile)
{
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", ""},
        {"not JSON", "widgetSnapshot"},
        {"truncated", fileWith(kMetric).chopped(2)},
        {"array", "[]"},
        {"no timestamp", R"({"metrics":[]})"},
        {"no metrics", R"({"timestamp":"2026-01-05T14:03:27Z"})"},
        {"metrics not a list", R"({"timestamp":"2026-01-05T14:03:27Z","metrics":{}})"},
        {"timestamp not text", R"({"timestamp":1767621807,"metrics":[]})"},
        {"timestamp unreadable", R"({"timestamp":"yesterday","metrics":[]})"},
        {"metric not an object", fileWith("42")},
        {"no provider", fileWith(R"({"kind":"session","title":"5-Hour","percent":1})")},
        {"no kind", fileWith(R"({"provider":"Claude","title":"5-Hour","percent":1})")},
        {"no title", fileWith(R"({"provider":"Claude","kind":"session","percent":1})")},
        {"no percent", fileWith(R"({"provider":"Claude","kind":"session","title":"5-Hour"})")},
        {"null percent", fileWith(R"({"provider":"Claude","kind":"session","title":"5-Hour","percent":null})")},
        {"percent as text", fileWith(R"({"provider":"Claude","kind":"session","title":"5-Hour","percent":"42"})")},
        {"unknown provider", fileWith(R"({"provider":"Gemini","kind":"session","title":"5-Hour","percent":1})")},
        {"provider in other case", fileWith(R"({"provider":"claude","kind":"session","title":"5-Hour","percent":1})")},
        {"unknown display mode", fileWith(kMetric, R"("displayMode":"left",)")},
        {"display mode in other case", fileWith(kMetric, R"("displayMode":"Remaining",)")},
        {"display mode not text", fileWith(kMetric, R"("displayMode":1,)")},
        {"primary not text", fileWith(kMetric, R"("primaryMetricID":["Claude:session"],)")},
        {"reset not text", fileWith(R"({"provider":"Claude","kind":"k","title":"t","percent":1,"resetsAt":5})")},
        {"reset unreadable", fileWith(R"({"provider":"Claude","kind":"k","title":"t","percent":1,"resetsAt":"soon"})")},
        {"window not a number",
         fileWith(R"({"provider":"Claude","kind":"k","title":"t","percent":1,"windowLength":"5h"})")},
        {"one bad metric among good ones",
         fileWith(
             R"({"provider":"Claude","kind":"a","title":"t","percent":1},{"provider":"Bard","kind":"b","title":"t","percent":1})")},
    };
    for (const auto& [name, json] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(decodeSnapshot(json));
    }
}

// Dates: whole seconds as written, fractions, offsets and bare dates from other writers, and nothing ambiguous.
TEST(SnapshotDecoder, ReadsDates)
{
    const std::pair<const char*, const char*> readable[] = {
        {"2026-01-05T14:03:27Z", "2026-01-05T14:03:27.000Z"},
        {"2026-01-05T14:03:27.250Z", "2026-01-05T14:03:27.250Z"},
        {"2026-01-05T14:03:27.1234567Z", "2026-01-05T14:03:27.123Z"},
        {"2026-01-05T15:03:27+01:00", "2026-01-05T14:03:27.000Z"},
        {"2026-01-05T09:33:27.5-04:30", "2026-01-05T14:03:27.500Z"},
        {"2024-02-29T00:00:00Z", "2024-02-29T00:00:00.000Z"},
        {"2026-01-05", "2026-01-05T00:00:00.000Z"},
    };
    for (const auto& [text, expected] : readable) {
        SCOPED_TRACE(text);
        const auto date = parseSnapshotDate(QString::fromLatin1(text));
        ASSERT_TRUE(date);
        EXPECT_EQ(date->toString(Qt::ISODateWithMs).toStdString(), expected);
    }
    for (const char* text :
         {"2026-01-05T", "2026-01-05T14:03:27", "2026-01-05 14:03:27Z", "2026-01-05T14:03Z", "2026-01-05T14:03:27.Z",
          "2026-02-30T00:00:00Z", "2025-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-01-05T24:00:00Z",
          "2026-01-05T14:60:00Z", "2026-01-05T14:03:60Z", "2026-01-05T14:03:27+0100", "2026-01-05T14:03:27Zjunk",
          "26-01-05T14:03:27Z", "+2026-01-05T14:03:27Z", ""}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parseSnapshotDate(QString::fromLatin1(text)));
    }
}
