// SPDX-License-Identifier: MIT
#include "insights/Insights.h"
#include "insights/Presentation.h"

#include "model/Timestamp.h"

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNine = *parseTimestamp(u"2026-03-10T09:00:00Z"_s);
const QDateTime kNow = *parseTimestamp(u"2026-01-05T12:00:00Z"_s);

QDateTime at(int minutesAfterNine)
{
    return kNine.addSecs(minutesAfterNine * 60);
}

UsageSnapshot snapshot(const QDateTime& when, std::initializer_list<std::pair<const char*, double>> points)
{
    UsageSnapshot shot{when, {}};
    for (const auto& [key, percent] : points) {
        const QString id = QString::fromLatin1(key);
        const auto provider = providerFromRaw(id.section(u':', 0, 0));
        shot.limits.append({*provider, id.section(u':', 1), percent, std::nullopt, std::nullopt});
    }
    return shot;
}

/// A Claude 5-hour history from (minutes after 9:00, percent) pairs.
QList<UsageSnapshot> sessionHistory(const QList<std::pair<int, double>>& points)
{
    QList<UsageSnapshot> history;
    for (const auto& [minute, percent] : points)
        history.append(snapshot(at(minute), {{"Claude:session", percent}}));
    return history;
}

ProviderMetric session(double percent, std::optional<QDateTime> resetsAt, std::optional<double> window = 18000)
{
    return {AIProvider::Claude, u"session"_s, u"5-Hour"_s, percent, resetsAt, window};
}

void expectNear(std::optional<double> actual, std::optional<double> expected, const char* name)
{
    ASSERT_EQ(actual.has_value(), expected.has_value()) << name;
    if (actual) {
        EXPECT_NEAR(*actual, *expected, 1e-9) << name;
    }
}

QList<double> percents(const QList<MetricSample>& samples)
{
    QList<double> values;
    for (const MetricSample& sample : samples)
        values.append(sample.percent);
    return values;
}

} // namespace

// The current window starts after its nominal start and after the latest drop of more than 5 points.
// Windows of 5 hours: one resetting at 13:00 began at 8:00, one at 14:00 began at 9:00.
TEST(Insights, WindowSamples)
{
    const ProviderMetric early = session(0, at(240)), late = session(0, at(300));
    const ProviderMetric endless = session(0, at(300), std::nullopt);
    const std::tuple<const char*, QList<UsageSnapshot>, ProviderMetric, QList<double>> cases[] = {
        {"drop of 32 starts it", sessionHistory({{0, 30}, {30, 40}, {60, 8}, {75, 10}, {90, 12}}), early, {8, 10, 12}},
        {"exactly 5 points is no drop", sessionHistory({{0, 30}, {15, 25}, {30, 26}}), early, {30, 25, 26}},
        {"5.1 points is a drop", sessionHistory({{0, 30}, {15, 24.9}, {30, 26}}), early, {24.9, 26}},
        {"latest drop wins", sessionHistory({{0, 50}, {10, 10}, {20, 60}, {30, 20}, {40, 21}}), early, {20, 21}},
        {"samples before the start are dropped", sessionHistory({{-60, 70}, {0, 1}, {30, 3}}), late, {1, 3}},
        {"no window length keeps all", sessionHistory({{-600, 1}, {0, 2}}), endless, {1, 2}},
        {"single sample", sessionHistory({{0, 9}}), early, {9}},
        {"only its own id, in time order whatever the file's order",
         {snapshot(at(30), {{"Claude:session", 40}, {"Claude:weekly_all", 7}}),
          snapshot(at(0), {{"Claude:session", 30}}), snapshot(at(10), {{"ChatGPT:primary", 99}})},
         early,
         {30, 40}},
    };
    for (const auto& [name, history, metric, expected] : cases)
        EXPECT_EQ(percents(Insights::windowSamples(metric, history)), expected) << name;
}

TEST(Insights, BurnRate)
{
    const std::tuple<const char*, QList<std::pair<int, double>>, std::optional<double>> cases[] = {
        {"three samples over 30 minutes", {{60, 8}, {75, 10}, {90, 12}}, 8.0},
        {"two samples", {{0, 1}, {60, 9}}, std::nullopt},
        {"three samples within 19 minutes", {{0, 1}, {10, 2}, {19, 3}}, std::nullopt},
        {"exactly 20 minutes is enough", {{0, 1}, {10, 2}, {20, 3}}, 6.0},
        {"falling usage gives a negative slope", {{0, 10}, {30, 9}, {60, 8}}, -2.0},
        {"all at one instant", {{0, 1}, {0, 2}, {0, 3}}, std::nullopt},
    };
    for (const auto& [name, points, expected] : cases) {
        QList<MetricSample> samples;
        for (const auto& [minute, percent] : points)
            samples.append({at(minute), percent});
        expectNear(Insights::burnRate(samples), expected, name);
    }
}

TEST(Insights, DeltaLastHour)
{
    // now is 10:00, so the target is 9:00.
    const std::tuple<const char*, QList<std::pair<int, double>>, double, std::optional<double>> cases[] = {
        {"sample exactly an hour ago", {{0, 20}, {50, 30}}, 27, 7.0},
        {"nearest sample 20 minutes away counts", {{-20, 20}}, 21, 1.0},
        {"nearest sample 25 minutes away gives none", {{25, 20}, {-25, 20}}, 30, std::nullopt},
        {"tie goes to the earlier sample", {{-10, 10}, {10, 12}}, 15, 5.0},
        {"a fall of 4.6 is kept", {{0, 20}}, 15.4, -4.6},
        {"a fall of 5.1 means a reset", {{0, 20}}, 14.9, std::nullopt},
        {"no history", {}, 15, std::nullopt},
    };
    for (const auto& [name, points, current, expected] : cases)
        expectNear(Insights::deltaLastHour(session(current, at(200)), sessionHistory(points), at(60)), expected, name);
}

// Every projection case, with a burn rate of 10 points per hour unless the case says otherwise.
TEST(Insights, Projection)
{
    const QDateTime now = at(60);
    // 0, 10, 20 over 2 hours before now: 10 points per hour inside a 5-hour window.
    const auto steadyClimb = [&](double last) {
        return sessionHistory({{-60, last - 20}, {0, last - 10}, {60, last}});
    };
    const std::tuple<const char*, QList<UsageSnapshot>, ProviderMetric, Projection> cases[] = {
        {"80 % with 3 hours left hits the limit in 2 hours", steadyClimb(80), session(80, now.addSecs(3 * 3600)),
         Projection::hitsLimit(now.addSecs(2 * 3600))},
        {"80 % with 1 hour left ends at 90", steadyClimb(80), session(80, now.addSecs(3600)), Projection::endsAt(90)},
        {"reset already past: ends at the current percent", steadyClimb(40), session(40, now.addSecs(-60)),
         Projection::endsAt(40)},
        {"reset past at 100 %: hit already", steadyClimb(100), session(100, now.addSecs(-60)),
         Projection::hitsLimit(now)},
        {"above 100 %: the date lies in the past", steadyClimb(110), session(110, now.addSecs(60)),
         Projection::hitsLimit(now.addSecs(-3600))},
        {"no reset time", steadyClimb(40), session(40, std::nullopt, std::nullopt), Projection::insufficientData()},
        {"too few samples", sessionHistory({{0, 1}, {60, 2}}), session(2, now.addSecs(3600)),
         Projection::insufficientData()},
        {"exactly 0.1 per hour is steady", sessionHistory({{-540, 10}, {-240, 10.5}, {60, 11}}),
         session(11, now.addSecs(600), std::nullopt), Projection::stable()},
        {"falling usage is steady", sessionHistory({{-60, 12}, {0, 11}, {60, 10}}), session(10, now.addSecs(600)),
         Projection::stable()},
    };
    for (const auto& [name, history, metric, expected] : cases) {
        const MetricInsight insight = Insights::insight(metric, history, now);
        EXPECT_TRUE(insight.projection == expected)
            << name << ": kind " << int(insight.projection.kind) << " percent " << insight.projection.percent << " at "
            << insight.projection.at.toString(Qt::ISODate).toStdString();
    }

    // 0.11 per hour is no longer steady.
    const auto slow =
        Insights::insight(session(10.22, now.addSecs(3600)), sessionHistory({{-60, 10}, {0, 10.11}, {60, 10.22}}), now);
    ASSERT_EQ(slow.projection.kind, Projection::Kind::EndsAt);
    EXPECT_NEAR(slow.projection.percent, 10.33, 1e-9);
    EXPECT_NEAR(*slow.burnRatePerHour, 0.11, 1e-9);
}

// Calendar days in local time: the spring-forward day is 23 hours long and keeps its own snapshots.
TEST(Insights, DailySummariesAcrossDaylightSaving)
{
    const QTimeZone berlin("Europe/Berlin");
    ASSERT_TRUE(berlin.isValid());
    const auto berlinTime = [&](int month, int day, int hour, int minute = 0) {
        return QDateTime(QDate(2026, month, day), QTime(hour, minute), berlin);
    };
    const QList<UsageSnapshot> history = {
        snapshot(berlinTime(3, 28, 23, 59), {{"Claude:session", 10}}),
        // Sunday 29 March 2026: clocks jump from 2:00 to 3:00.
        snapshot(berlinTime(3, 29, 0, 0), {{"Claude:session", 20}, {"Claude:weekly_all", 5}}),
        snapshot(berlinTime(3, 29, 12, 0), {{"Claude:session", 99.5}}),
        snapshot(berlinTime(3, 29, 23, 59), {{"Claude:session", 30}, {"ChatGPT:primary", 100}}),
        snapshot(berlinTime(3, 29, 23, 59), {{"ChatGPT:primary", 100}}), // no Claude point: not counted
        snapshot(berlinTime(3, 30, 0, 0), {{"Claude:session", -3}}),
        snapshot(berlinTime(3, 31, 9, 0), {{"Claude:session", 99.4}}),
    };
    const auto summaries = Insights::dailySummaries(history, AIProvider::Claude, 4, berlin, berlinTime(3, 31, 18, 0));
    ASSERT_EQ(summaries.size(), 4);
    EXPECT_EQ(summaries[0].date, berlinTime(3, 28, 0, 0));
    EXPECT_EQ(summaries[1].date, berlinTime(3, 29, 0, 0));
    EXPECT_EQ(summaries[1].date.secsTo(summaries[2].date), 23 * 3600);

    EXPECT_EQ(summaries[0].samples, 1);
    EXPECT_EQ(summaries[1].samples, 3);
    EXPECT_DOUBLE_EQ(summaries[1].peaks.value(u"Claude:session"_s), 99.5);
    EXPECT_DOUBLE_EQ(summaries[1].peaks.value(u"Claude:weekly_all"_s), 5);
    EXPECT_FALSE(summaries[1].peaks.contains(u"ChatGPT:primary"_s));
    EXPECT_TRUE(summaries[1].hitLimit);
    EXPECT_DOUBLE_EQ(summaries[2].peaks.value(u"Claude:session"_s), 0); // never negative
    EXPECT_FALSE(summaries[3].hitLimit);                                // 99.4 is short of the limit
    EXPECT_EQ(summaries[3].samples, 1);

    // The autumn day is 25 hours long; an empty day still yields a summary.
    const auto autumn = Insights::dailySummaries({}, AIProvider::Claude, 2, berlin, berlinTime(10, 26, 12, 0));
    ASSERT_EQ(autumn.size(), 2);
    EXPECT_EQ(autumn[0].date.secsTo(autumn[1].date), 25 * 3600);
    EXPECT_EQ(autumn[0].samples, 0);
    EXPECT_TRUE(autumn[0].peaks.isEmpty());
    EXPECT_TRUE(Insights::dailySummaries(history, AIProvider::Claude, 0, berlin, berlinTime(3, 31, 18, 0)).isEmpty());
}

TEST(Presentation, ProjectionCaption)
{
    const auto part = [](const Projection& projection) {
        return insightCaption({1.0, std::nullopt, projection}, kNow).projection;
    };
    EXPECT_EQ(part(Projection::stable()), (CaptionPart{{}, u"steady"_s, CaptionTone::Tertiary, {}}));
    EXPECT_EQ(
        part(Projection::endsAt(89.5)),
        (CaptionPart{{}, u"ends at ~90%"_s, CaptionTone::Secondary, u"Projected usage when this window resets"_s}));
    EXPECT_EQ(part(Projection::hitsLimit(kNow.addSecs(2 * 3600 + 5 * 60))),
              (CaptionPart{u"exclamationmark.triangle.fill"_s, u"100% in ~2h 5m"_s, CaptionTone::Red,
                           u"At the current pace you reach the limit before it resets"_s}));
    EXPECT_EQ(part(Projection::hitsLimit(kNow.addSecs(-3600)))->text, u"100% in ~1m");
    EXPECT_FALSE(part(Projection::insufficientData()));

    // The change part rounds halves away from zero; only a rise of a whole point gets a "+".
    const auto change = [](double delta) { return insightCaption({1.0, delta, Projection::stable()}, kNow).change; };
    EXPECT_EQ(change(0.5), (CaptionPart{u"arrow.up.right"_s, u"+1% last hour"_s, CaptionTone::Secondary,
                                        u"Change over the last hour"_s}));
    EXPECT_EQ(change(0.49)->text, u"0% last hour"_s);
    EXPECT_EQ(change(-0.5)->text, u"-1% last hour"_s);
}

TEST(Presentation, ResetCountdown)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const auto text = [&](std::optional<qint64> seconds) {
        return resetCountdownText(seconds ? std::optional(kNow.addSecs(*seconds)) : std::nullopt, kNow, english);
    };
    EXPECT_FALSE(text(std::nullopt));
    EXPECT_EQ(text(0), u"Resets soon");
    EXPECT_EQ(text(-90), u"Resets soon");
    EXPECT_EQ(text(59), u"Resets in 1m");
    EXPECT_EQ(text(7500), u"Resets in 2h 5m");
    EXPECT_EQ(text(129600), u"Resets in 1d 12h");
    // Past 36 hours: weekday, then day and month in the locale's own order.
    const QDateTime later = kNow.addSecs(129601).toLocalTime();
    EXPECT_EQ(text(129601), u"Resets "_s + english.toString(later.date(), u"ddd, MMM d"));
    const std::pair<QLocale, const char*> locales[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "ddd, MMM d"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "ddd, d MMM"},
        {QLocale(QLocale::German, QLocale::Germany), "ddd, d MMM"},
        {QLocale::c(), "ddd, MMM d"},
    };
    for (const auto& [locale, pattern] : locales)
        EXPECT_EQ(weekdayMonthDayPattern(locale), QString::fromUtf8(pattern)) << locale.name().toStdString();
}

TEST(Presentation, RelativeTime)
{
    const std::pair<qint64, const char*> cases[] = {
        {0, "now"},
        {1, "1 second ago"},
        {45, "45 seconds ago"},
        {60, "1 minute ago"},
        {150, "2 minutes ago"},
        {3600 * 5, "5 hours ago"},
        {86400 + 5, "yesterday"},
        {86400 * 3, "3 days ago"},
        {-7200, "in 2 hours"},
    };
    for (const auto& [secondsAgo, text] : cases)
        EXPECT_EQ(relativeTimeText(kNow.addSecs(-secondsAgo), kNow), QString::fromUtf8(text)) << secondsAgo;
}
