// SPDX-License-Identifier: MIT
#include "insights/Trends.h"

#include "model/Timestamp.h"

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow = *parseTimestamp(u"2026-01-05T12:00:00Z"_s);
const QTimeZone kUtc(QByteArrayLiteral("UTC"));

using Point = UsageSnapshot::LimitPoint;

Point point(AIProvider provider, const char* kind, double percent, std::optional<QString> name = std::nullopt)
{
    return {provider, QString::fromLatin1(kind), percent, std::move(name), std::nullopt};
}

UsageSnapshot shot(qint64 secondsBeforeNow, QList<Point> points)
{
    return {kNow.addSecs(-secondsBeforeNow), std::move(points)};
}

} // namespace

// Series are ranked (5-Hour/Primary, 7-Day/Weekly, others in order of first appearance),
// capped at four from all given snapshots whatever the range, and only points in range are drawn.
TEST(TrendsTest, ShownSeriesAndPointsInRange)
{
    const QList<UsageSnapshot> history = {
        shot(13 * 86400, {point(AIProvider::ChatGPT, "code_review", 5, u"Code Review"_s),
                          point(AIProvider::ChatGPT, "fifth", 5, u"Fifth"_s)}),
        shot(6 * 86400, {point(AIProvider::ChatGPT, "secondary", 40, u"Weekly"_s)}),
        shot(86400 + 1, {point(AIProvider::ChatGPT, "extra", 9, u"Extra"_s)}),
        shot(86400, {point(AIProvider::ChatGPT, "primary", 10, u"Primary"_s)}),
        shot(3600, {point(AIProvider::ChatGPT, "primary", 20, u"Primary"_s),
                    point(AIProvider::ChatGPT, "secondary", 41, u"Weekly"_s), point(AIProvider::Claude, "session", 3)}),
        shot(60, {point(AIProvider::Claude, "five_hour", 4)}),
    };
    // Read as ChatGPT's history, Claude's points are not there.
    const std::optional<AIProvider> chatgpt = AIProvider::ChatGPT;
    const QStringList shown = Trends::shownSeries(history, chatgpt);
    EXPECT_EQ(shown, (QStringList{u"Primary"_s, u"Weekly"_s, u"Code Review"_s, u"Fifth"_s}));

    // Points per line: Primary, Weekly, Code Review, Fifth. Exactly 24 hours old is still in a day's range.
    const std::pair<TrendRange, std::vector<size_t>> rows[] = {
        {TrendRange::Day, {2, 1, 0, 0}}, {TrendRange::Week, {2, 2, 0, 0}}, {TrendRange::All, {2, 2, 1, 1}}};
    for (const auto& [range, pointsPerLine] : rows) {
        const QList<ChartLine> lines = Trends::chartLines(history, shown, range, kNow, chatgpt);
        ASSERT_EQ(lines.size(), 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(lines[i].label, shown[i]);
            EXPECT_EQ(lines[i].x.size(), pointsPerLine[size_t(i)]) << rawValue(range).toStdString() << i;
        }
    }
    EXPECT_TRUE(Trends::chartLines(history, shown, TrendRange::Day, kNow.addDays(3), chatgpt)[0].x.empty());
    EXPECT_EQ(Trends::shownSeries(history), (QStringList{u"Primary"_s, u"5-Hour"_s, u"Weekly"_s, u"Code Review"_s}));
    // The nearest ChatGPT snapshot, not the newer Claude-only one.
    EXPECT_EQ(Trends::readout(history, shown, TrendRange::Day, kNow, kNow, chatgpt)->date, kNow.addSecs(-3600));
    EXPECT_EQ(Trends::snapshotTable(history, TrendRange::Day, kNow, chatgpt).rows.size(), 2);
}

// The readout takes the snapshot in range nearest to the pointer, the earlier on a tie, and
// truncates percents of the shown series only.
TEST(TrendsTest, Readout)
{
    const QList<UsageSnapshot> history = {
        shot(90000, {point(AIProvider::Claude, "session", 50)}), // outside 24 hours
        shot(1200, {point(AIProvider::Claude, "session", 99.9), point(AIProvider::Claude, "weekly_all", 12.5),
                    point(AIProvider::Claude, "weekly_a", 1), point(AIProvider::Claude, "weekly_b", 2),
                    point(AIProvider::Claude, "weekly_c", 3)}),
        shot(600, {point(AIProvider::Claude, "session", 100), point(AIProvider::Claude, "weekly_all", -0.5)}),
    };
    const QStringList shown = Trends::shownSeries(history);
    ASSERT_EQ(shown.size(), 4);

    // Pointer, range, the snapshot chosen (all in seconds before now) and its texts.
    const std::tuple<qint64, TrendRange, qint64, QStringList> rows[] = {
        {900, TrendRange::Day, 1200, {u"99%"_s, u"12%"_s, u"1%"_s, u"2%"_s}}, // tie: the earlier one
        {899, TrendRange::Day, 600, {u"100%"_s, u"0%"_s}},
        {95000, TrendRange::Day, 1200, {u"99%"_s, u"12%"_s, u"1%"_s, u"2%"_s}},
        {95000, TrendRange::Week, 90000, {u"50%"_s}},
        {0, TrendRange::Day, 600, {u"100%"_s, u"0%"_s}},
    };
    for (const auto& [selected, range, chosen, expected] : rows) {
        SCOPED_TRACE(selected);
        const auto readout = Trends::readout(history, shown, range, kNow, kNow.addSecs(-selected));
        ASSERT_TRUE(readout.has_value());
        EXPECT_EQ(readout->date, kNow.addSecs(-chosen));
        QStringList texts;
        for (const auto& value : readout->values)
            texts.append(value.text);
        EXPECT_EQ(texts, expected);
    }
    EXPECT_FALSE(Trends::readout(history, shown, TrendRange::Day, kNow.addDays(2), kNow).has_value());
}

// Daily bars keep the two main Claude windows (never a per-model weekly one) and the header
// counts the days a limit was hit.
TEST(TrendsTest, DailyBarsAndHitLimitHeader)
{
    QList<UsageSnapshot> history;
    for (int day = 6; day >= 0; --day) {
        const double session = day == 4 || day == 1 ? 99.5 : 30 + day;
        history.append(shot(qint64(day) * 86400 + 3600, {point(AIProvider::Claude, "weekly_opus", 99.9, u"Opus"_s),
                                                         point(AIProvider::Claude, "weekly_all", 40 + day),
                                                         point(AIProvider::Claude, "session", session),
                                                         point(AIProvider::ChatGPT, "primary", 100)}));
    }
    const DailyChartData data = Trends::dailyChart(history, AIProvider::Claude, 7, kUtc, kNow);
    ASSERT_EQ(data.series.size(), 2);
    EXPECT_EQ(data.series[0], (DailySeries{u"Claude:session"_s, u"5-Hour"_s}));
    EXPECT_EQ(data.series[1], (DailySeries{u"Claude:weekly_all"_s, u"7-Day"_s}));
    EXPECT_EQ(data.bars.size(), 14);
    EXPECT_EQ(data.summaries.size(), 7);
    // A per-model window at its limit is a limit hit, though it has no bars of its own.
    EXPECT_EQ(data.hitDays, 7);
    EXPECT_EQ(Trends::hitLimitText(data), u"limit hit on 7 of 7 days"_s);
    EXPECT_TRUE(Trends::hitLimitText(Trends::dailyChart({}, AIProvider::Claude, 7, kUtc, kNow)).isEmpty());
}

// Header texts of the details window: the fullest window (the first among equals) and the plan.
TEST(TrendsTest, SidebarAndPlanTexts)
{
    const QList<ProviderMetric> metrics = {{AIProvider::Claude, u"a"_s, u"A"_s, 40, {}, {}},
                                           {AIProvider::Claude, u"b"_s, u"B"_s, 90, {}, {}},
                                           {AIProvider::Claude, u"c"_s, u"C"_s, 90, {}, {}}};
    EXPECT_EQ(Trends::highestMetric(metrics)->kind, u"b"_s);
    EXPECT_EQ(Trends::highestMetric(metrics)->percentText(QuotaDisplayMode::Remaining), u"10%"_s);
    EXPECT_FALSE(Trends::highestMetric({}).has_value());

    const std::tuple<AIProvider, std::optional<QString>, std::optional<QString>> rows[] = {
        {AIProvider::ChatGPT, u"plus"_s, u"Plus plan"_s},
        {AIProvider::Copilot, u"individual_pro"_s, u"Individual Pro plan"_s},
        {AIProvider::Claude, u"max"_s, std::nullopt},
        {AIProvider::ChatGPT, std::nullopt, std::nullopt},
        {AIProvider::Copilot, u""_s, std::nullopt},
    };
    for (const auto& [provider, plan, text] : rows)
        EXPECT_EQ(Trends::planText(provider, plan), text);
}
