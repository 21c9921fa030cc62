// SPDX-License-Identifier: MIT
// The widget keeps its own copies of the application's rules; on the same inputs both must agree.
#include "logic/SnapshotDecoder.h"
#include "logic/UsageText.h"
#include "logic/UsageTimeline.h"
#include "model/Formatting.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;
namespace app = tallyvue;
namespace widget = tallyvue::widget;

namespace {

app::QuotaDisplayMode appMode(widget::QuotaDisplayMode mode)
{
    return mode == widget::QuotaDisplayMode::Remaining ? app::QuotaDisplayMode::Remaining : app::QuotaDisplayMode::Used;
}

/// The widget's reading in the application's types, to compare field by field.
app::WidgetSnapshot inAppTypes(const widget::WidgetSnapshot& snapshot)
{
    app::WidgetSnapshot result{snapshot.timestamp, {}, snapshot.primaryMetricID, appMode(snapshot.displayMode)};
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

QByteArray withMetric(const char* metric, const char* rest = "")
{
    return QByteArray(R"({"timestamp":"2026-01-05T14:03:27Z","metrics":[)") + metric + "]" + rest + "}";
}

} // namespace

// Percent labels in both modes, including out-of-range and non-finite percents.
TEST(Agreement, PercentText)
{
    const double percents[] = {
        0,    0.4,  0.999, 1,   42.7,  49.99, 50,    50.01, 57.3,  79.999, 80,
        80.5, 99.5, 99.99, 100, 100.4, 250,   -0.01, -3,    1e300, -1e300, std::numeric_limits<double>::infinity(),
        NAN};
    for (const double percent : percents) {
        for (const auto mode : {widget::QuotaDisplayMode::Used, widget::QuotaDisplayMode::Remaining}) {
            SCOPED_TRACE(testing::Message() << percent << (mode == widget::QuotaDisplayMode::Used ? " used" : " left"));
            EXPECT_EQ(widget::percentText(percent, mode), app::percentText(percent, appMode(mode)));
            EXPECT_DOUBLE_EQ(widget::shownPercent(percent, mode), app::shownPercent(percent, appMode(mode)));
        }
    }
}

// Duration labels at every unit boundary and beyond the range of an integer.
TEST(Agreement, DurationText)
{
    const double seconds[] = {-1e18,      -50,
                              0,          0.9,
                              59,         60,
                              119,        119.999,
                              120,        3599,
                              3600,       3659,
                              3660,       7500,
                              86399,      86400,
                              89999,      90000,
                              129600,     129601,
                              604799,     604800,
                              31'536'000, 1e15,
                              1e300,      std::numeric_limits<double>::infinity(),
                              NAN};
    for (const double s : seconds) {
        SCOPED_TRACE(s);
        EXPECT_EQ(widget::durationText(s), app::durationText(s));
    }
}

// Both programs find the file in the same place.
TEST(Agreement, SnapshotLocation)
{
    EXPECT_EQ(widget::snapshotFilePath(), app::widgetSnapshotPath());
}

// Files of every shape the reader rules speak of: both readers accept the same ones and read the same values.
TEST(Agreement, SnapshotFiles)
{
    const char* const kMetric = R"({"provider":"Claude","kind":"session","title":"5-Hour","percent":42.5})";
    const QByteArray files[] = {
        withMetric(kMetric),
        withMetric(kMetric, R"(,"primaryMetricID":"Claude:session","displayMode":"remaining")"),
        withMetric(kMetric, R"(,"primaryMetricID":null,"displayMode":null)"),
        withMetric(kMetric, R"(,"displayMode":"Remaining")"),
        withMetric(kMetric, R"(,"displayMode":7)"),
        withMetric(kMetric, R"(,"primaryMetricID":7)"),
        withMetric(kMetric, R"(,"unknown":{"nested":[1,2]})"),
        withMetric(""),
        withMetric(
            R"({"provider":"ChatGPT","kind":"primary","title":"5-Hour","percent":63,"resetsAt":"2026-01-05T16:00:00Z","windowLength":18000})"),
        withMetric(
            R"({"provider":"Copilot","kind":"chat","title":"Chat","percent":-2,"resetsAt":null,"windowLength":null})"),
        withMetric(
            R"({"provider":"Claude","kind":"k","title":"t","percent":1,"resetsAt":"2026-01-05T16:00:00.123456Z"})"),
        withMetric(
            R"({"provider":"Claude","kind":"k","title":"t","percent":1,"resetsAt":"2026-01-05T17:00:00+01:00"})"),
        withMetric(R"({"provider":"Claude","kind":"k","title":"t","percent":1,"resetsAt":"2026-01-05"})"),
        withMetric(R"({"provider":"Claude","kind":"k","title":"t","percent":1,"resetsAt":"2026-01-05T16:00:00"})"),
        withMetric(R"({"provider":"Claude","kind":"k","title":"t","percent":1,"resetsAt":"2026-02-30T16:00:00Z"})"),
        withMetric(R"({"provider":"Claude","kind":"k","title":"t","percent":1,"resetsAt":1767621807})"),
        withMetric(R"({"provider":"Claude","kind":"k","title":"t","percent":1,"windowLength":"5h"})"),
        withMetric(R"({"provider":"Claude","kind":"k","title":"t","percent":1e308,"extra":true})"),
        withMetric(R"({"provider":"Gemini","kind":"k","title":"t","percent":1})"),
        withMetric(R"({"provider":"Claude","title":"t","percent":1})"),
        withMetric(R"({"provider":"Claude","kind":"k","percent":1})"),
        withMetric(R"({"provider":"Claude","kind":"k","title":"t"})"),
        withMetric(R"({"provider":"Claude","kind":"k","title":"t","percent":"1"})"),
        withMetric(R"({"provider":"Claude","kind":5,"title":"t","percent":1})"),
        withMetric("[]"),
        withMetric("null"),
        R"({"timestamp":"2026-01-05T14:03:27.5Z","metrics":[]})",
        R"({"timestamp":"2026-01-05","metrics":[]})",
        R"({"timestamp":"now","metrics":[]})",
        R"({"metrics":[]})",
        R"({"timestamp":"2026-01-05T14:03:27Z"})",
        R"({"timestamp":"2026-01-05T14:03:27Z","metrics":{}})",
        "[]",
        "",
        "{",
    };
    for (const QByteArray& file : files)
        expectSameReading(file);
}

// What the application writes, the widget reads back exactly as the application would.
TEST(Agreement, WrittenByTheApplication)
{
    const QDateTime now = QDateTime(QDate(2026, 1, 5), QTime(14, 3, 27, 640), Qt::UTC);
    app::WidgetSnapshot snapshot{now, {}, u"Claude:session"_s, app::QuotaDisplayMode::Remaining};
    snapshot.metrics = {
        {app::AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42.7, now.addSecs(7200), 18000},
        {app::AIProvider::Claude, u"weekly_opus"_s, u"Opus \"4.1\" \u00E9t\u00E9 \U0001F600"_s, 100.4,
         now.addMSecs(259200999), 604800},
        {app::AIProvider::ChatGPT, u"primary"_s, u"5-Hour"_s, 1e-9, std::nullopt, 18000},
        {app::AIProvider::Copilot, u"premium_interactions"_s, u"Premium"_s, -3, std::nullopt, std::nullopt},
    };
    for (const auto& primary : {std::optional(u"Claude:session"_s), std::optional<QString>()}) {
        snapshot.primaryMetricID = primary;
        const QByteArray file = app::encodeWidgetSnapshot(snapshot);
        const auto read = widget::decodeSnapshot(file);
        ASSERT_TRUE(read) << file.toStdString();
        EXPECT_EQ(inAppTypes(*read), app::decodeWidgetSnapshot(file).value());
        EXPECT_EQ(read->metrics.at(1).title, snapshot.metrics.at(1).title);
        EXPECT_EQ(read->timestamp, now.addMSecs(-640)); // whole seconds in the file
    }
}
