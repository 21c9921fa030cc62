// SPDX-License-Identifier: MIT
// The widget keeps its own copies of the application's rules; on the same inputs both must agree.
#include "logic/SnapshotDecoder.h"
#include "logic/UsageText.h"
#include "logic/UsageTimeline.h"
#include "model/Formatting.h"
#include "views/common/Style.h"
#include "widget/SnapshotCases.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;
namespace app = tallyvue;
namespace widget = tallyvue::widget;

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

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

} // namespace

// Percent labels in both modes, including out-of-range and non-finite percents.
TEST(Agreement, PercentText)
{
    const double percents[] = {0,    0.4,   0.999, 1,     42.7, 49.99, 50, 50.01, 57.3,   79.999,    80, 80.5,
                               99.5, 99.99, 100,   100.4, 250,  -0.01, -3, 1e300, -1e300, kInfinity, NAN};
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
    const double seconds[] = {-1e18,  -50,    0,      0.9,    59,       60,    119,   119.999,   120,
                              3599,   3600,   3659,   3660,   7500,     86399, 86400, 89999,     90000,
                              129600, 129601, 604799, 604800, 31536000, 1e15,  1e300, kInfinity, NAN};
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
    for (const auto& c : widget::testing::snapshotCases()) {
        SCOPED_TRACE(c.name);
        expectSameReading(c.json);
    }
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

// The widget's level colours are the application's table, in both themes.
TEST(Agreement, LevelColours)
{
    const std::pair<widget::UsageColor, app::UsageLevel> levels[] = {
        {widget::UsageColor::Green, app::UsageLevel::Green},
        {widget::UsageColor::Yellow, app::UsageLevel::Yellow},
        {widget::UsageColor::Red, app::UsageLevel::Red}};
    for (const auto& [inWidget, inApp] : levels) {
        EXPECT_EQ(widget::colorValue(inWidget, widget::Appearance::Light), app::style::levelColor(inApp, false));
        EXPECT_EQ(widget::colorValue(inWidget, widget::Appearance::Dark), app::style::levelColor(inApp, true));
    }
}
