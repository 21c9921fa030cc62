// SPDX-License-Identifier: MIT
// The widget keeps its own copies of the application's rules; on the same inputs both must agree.
#include "logic/SnapshotDecoder.h"
#include "logic/UsageText.h"
#include "logic/UsageTimeline.h"
#include "model/Formatting.h"
#include "views/common/Style.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;
namespace app = tallyvue;
namespace widget = tallyvue::widget;

namespace {

/// Whether a file is refused, or read with this display mode.
enum class Reading { Refused, Used, Remaining };

/// A well-formed file with `metric` as its only metric and `extra` added to the top level.
QByteArray fileWith(const QByteArray& metric, const char* extra = "")
{
    return QByteArray(R"({"timestamp":"2026-01-05T14:03:27Z",)") + extra + R"("metrics":[)" + metric + "]}";
}

/// A Claude metric with every required member and `members` besides.
QByteArray claudeWith(const char* members)
{
    return QByteArray(R"({"provider":"Claude","kind":"k","title":"t","percent":1,)") + members + '}';
}

/// The widget's reading in the application's types, to compare field by field.
app::WidgetSnapshot inAppTypes(const widget::WidgetSnapshot& snapshot)
{
    const bool remaining = snapshot.displayMode == widget::QuotaDisplayMode::Remaining;
    app::WidgetSnapshot result{snapshot.timestamp,
                               {},
                               snapshot.primaryMetricID,
                               remaining ? app::QuotaDisplayMode::Remaining : app::QuotaDisplayMode::Used};
    for (const widget::ProviderMetric& m : snapshot.metrics) {
        result.metrics.append({app::providerFromRaw(widget::rawValue(m.provider)).value(), m.kind, m.title, m.percent,
                               m.resetsAt, m.windowLength});
    }
    return result;
}

void expectSameReading(const QByteArray& json)
{
    const auto byApp = app::decodeWidgetSnapshot(json);
    const auto byWidget = widget::decodeSnapshot(json);
    ASSERT_EQ(byApp.has_value(), byWidget.has_value()) << json.toStdString();
    if (byApp) {
        EXPECT_EQ(inAppTypes(*byWidget), *byApp) << json.toStdString();
    }
}

} // namespace

// Files of every shape the reader rules speak of (the dates are the date reader's test): both readers
// accept the same ones, refuse the rest, and read the same values, the display mode included; and what
// the application writes reads back.
TEST(Agreement, SnapshotFiles)
{
    const char* const kMetric = R"({"provider":"Claude","kind":"session","title":"5-Hour","percent":42.5})";
    const std::tuple<const char*, QByteArray, Reading> cases[] = {
        // What readers must tolerate.
        {"no display mode", fileWith(kMetric), Reading::Used},
        {"null display mode", fileWith(kMetric, R"("displayMode":null,)"), Reading::Used},
        {"remaining", fileWith(kMetric, R"("displayMode":"remaining","primaryMetricID":"Claude:session",)"),
         Reading::Remaining},
        {"null primary", fileWith(kMetric, R"("primaryMetricID":null,)"), Reading::Used},
        {"primary naming nothing", fileWith(kMetric, R"("primaryMetricID":"ChatGPT:x",)"), Reading::Used},
        {"unknown keys", fileWith(claudeWith(R"("extra":[1])"), R"("version":3,"more":{"a":null},)"), Reading::Used},
        {"null optionals",
         fileWith(R"({"provider":"Copilot","kind":"k","title":"t","percent":-2,"resetsAt":null,"windowLength":null})"),
         Reading::Used},
        {"all optionals", fileWith(R"({"provider":"ChatGPT","kind":"primary","title":"5-Hour","percent":63,
                                      "resetsAt":"2026-01-05T16:00:00Z","windowLength":18000})"),
         Reading::Used},
        {"reset with offset", fileWith(claudeWith(R"("resetsAt":"2026-01-05T17:00:00+01:00")")), Reading::Used},
        {"huge percent", fileWith(R"({"provider":"Claude","kind":"k","title":"t","percent":1e308})"), Reading::Used},
        {"timestamp with fractions", R"({"timestamp":"2026-01-05T14:03:27.5Z","metrics":[]})", Reading::Used},
        {"no metrics", fileWith(""), Reading::Used},
        // What makes the whole file unreadable.
        {"empty", "", Reading::Refused},
        {"not JSON", "widgetSnapshot", Reading::Refused},
        {"truncated", fileWith(kMetric).chopped(2), Reading::Refused},
        {"array", "[]", Reading::Refused},
        {"no timestamp", R"({"metrics":[]})", Reading::Refused},
        {"no metrics key", R"({"timestamp":"2026-01-05T14:03:27Z"})", Reading::Refused},
        {"metrics not a list", R"({"timestamp":"2026-01-05T14:03:27Z","metrics":{}})", Reading::Refused},
        {"timestamp not text", R"({"timestamp":1767621807,"metrics":[]})", Reading::Refused},
        {"metric not an object", fileWith("42"), Reading::Refused},
        {"no provider", fileWith(R"({"kind":"session","title":"5-Hour","percent":1})"), Reading::Refused},
        {"no kind", fileWith(R"({"provider":"Claude","title":"5-Hour","percent":1})"), Reading::Refused},
        {"kind not text", fileWith(R"({"provider":"Claude","kind":5,"title":"5-Hour","percent":1})"), Reading::Refused},
        {"no title", fileWith(R"({"provider":"Claude","kind":"session","percent":1})"), Reading::Refused},
        {"no percent", fileWith(R"({"provider":"Claude","kind":"session","title":"5-Hour"})"), Reading::Refused},
        {"null percent", fileWith(R"({"provider":"Claude","kind":"k","title":"t","percent":null})"), Reading::Refused},
        {"percent as text", fileWith(R"({"provider":"Claude","kind":"k","title":"t","percent":"42"})"),
         Reading::Refused},
        {"unknown provider", fileWith(R"({"provider":"Gemini","kind":"k","title":"t","percent":1})"), Reading::Refused},
        {"provider in other case", fileWith(R"({"provider":"claude","kind":"k","title":"t","percent":1})"),
         Reading::Refused},
        {"unknown display mode", fileWith(kMetric, R"("displayMode":"left",)"), Reading::Refused},
        {"display mode in other case", fileWith(kMetric, R"("displayMode":"Remaining",)"), Reading::Refused},
        {"display mode not text", fileWith(kMetric, R"("displayMode":1,)"), Reading::Refused},
        {"primary not text", fileWith(kMetric, R"("primaryMetricID":["Claude:session"],)"), Reading::Refused},
        {"reset not text", fileWith(claudeWith(R"("resetsAt":5)")), Reading::Refused},
        {"reset without zone", fileWith(claudeWith(R"("resetsAt":"2026-01-05T16:00:00")")), Reading::Refused},
        {"window not a number", fileWith(claudeWith(R"("windowLength":"5h")")), Reading::Refused},
        {"one bad metric among good ones", fileWith(R"({"provider":"Claude","kind":"a","title":"t","percent":1},
                    {"provider":"Bard","kind":"b","title":"t","percent":1})"),
         Reading::Refused},
    };
    for (const auto& [name, json, expected] : cases) {
        SCOPED_TRACE(name);
        expectSameReading(json);
        const auto read = widget::decodeSnapshot(json);
        ASSERT_EQ(read.has_value(), expected != Reading::Refused);
        EXPECT_TRUE(!read ||
                    (read->displayMode == widget::QuotaDisplayMode::Remaining) == (expected == Reading::Remaining));
    }
    const QDateTime now(QDate(2026, 1, 5), QTime(14, 3, 27), Qt::UTC);
    expectSameReading(app::encodeWidgetSnapshot(
        {now,
         {{app::AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42.7, now.addSecs(7200), 18000}},
         u"Claude:session"_s,
         app::QuotaDisplayMode::Remaining}));
}

// Percent and duration labels at every boundary and beyond the range of an integer, in both modes.
TEST(Agreement, PercentAndDurationTexts)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    for (const double percent : {0.0, 0.4, 0.999, 49.99, 50.0, 50.01, 79.999, 80.0, 80.5, 99.5, 99.99, 100.0, 100.4,
                                 -0.01, 1e300, -1e300, kInf, double(NAN)}) {
        for (const auto mode : {widget::QuotaDisplayMode::Used, widget::QuotaDisplayMode::Remaining}) {
            SCOPED_TRACE(testing::Message() << percent << (mode == widget::QuotaDisplayMode::Used ? " used" : " left"));
            const auto inApp =
                mode == widget::QuotaDisplayMode::Used ? app::QuotaDisplayMode::Used : app::QuotaDisplayMode::Remaining;
            EXPECT_EQ(widget::percentText(percent, mode), app::percentText(percent, inApp));
            EXPECT_DOUBLE_EQ(widget::shownPercent(percent, mode), app::shownPercent(percent, inApp));
        }
    }
    for (const double seconds : {-1e18, 0.0, 0.9, 59.0, 60.0, 119.999, 120.0, 3599.0, 3600.0, 3660.0, 86399.0, 86400.0,
                                 89999.0, 90000.0, 129601.0, 604800.0, 1e15, kInf, double(NAN)}) {
        SCOPED_TRACE(seconds);
        EXPECT_EQ(widget::durationText(seconds), app::durationText(seconds));
    }
}

// Both programs find the file in the same place and colour levels from the same table, in both themes.
TEST(Agreement, LocationAndLevelColours)
{
    EXPECT_EQ(widget::snapshotFilePath(), app::widgetSnapshotPath());
    const std::pair<widget::UsageColor, app::UsageLevel> levels[] = {
        {widget::UsageColor::Green, app::UsageLevel::Green},
        {widget::UsageColor::Yellow, app::UsageLevel::Yellow},
        {widget::UsageColor::Red, app::UsageLevel::Red}};
    for (const auto& [inWidget, inApp] : levels) {
        EXPECT_EQ(widget::colorValue(inWidget, widget::Appearance::Light), app::style::levelColor(inApp, false));
        EXPECT_EQ(widget::colorValue(inWidget, widget::Appearance::Dark), app::style::levelColor(inApp, true));
    }
}
