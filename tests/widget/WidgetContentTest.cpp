// SPDX-License-Identifier: MIT
#include "logic/WidgetContent.h"
#include "logic/UsageText.h"
#include "logic/UsageTimeline.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyvue::widget;

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 1, 5), QTime(12, 0), Qt::UTC);
const QLocale kUsEnglish(QLocale::English, QLocale::UnitedStates);

ProviderMetric metric(AIProvider provider, const char* kind, double percent = 10)
{
    return {provider, QString::fromLatin1(kind), QString::fromLatin1(kind), percent, std::nullopt, std::nullopt};
}

WidgetSnapshot snapshotOf(QList<ProviderMetric> metrics, std::optional<QString> primary = std::nullopt)
{
    return {kNow, std::move(metrics), std::move(primary), QuotaDisplayMode::Used};
}

QStringList ids(const QList<ProviderMetric>& metrics)
{
    QStringList result;
    for (const ProviderMetric& m : metrics)
        result << m.id();
    return result;
}

QStringList rowTexts(const MediumContent& content)
{
    QStringList texts;
    for (const MediumRow& row : content.rows)
        texts << row.letter + u' ' + row.title + u' ' + row.percentText + u' ' + row.resetText.value_or(u"-"_s);
    return texts;
}

} // namespace

// The small widget's metric: the chosen one, else Claude's session, else the first, else none.
TEST(WidgetContent, PrimaryMetric)
{
    const auto claudeWeek = metric(AIProvider::Claude, "weekly_all");
    const auto claudeSession = metric(AIProvider::Claude, "session");
    const auto codex = metric(AIProvider::ChatGPT, "primary");
    const auto copilot = metric(AIProvider::Copilot, "premium_interactions");
    struct Case
    {
        const char* name;
        WidgetSnapshot snapshot;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"chosen", snapshotOf({claudeSession, codex}, u"ChatGPT:primary"_s), u"ChatGPT:primary"_s},
        {"chosen names nothing", snapshotOf({claudeWeek, codex, claudeSession}, u"Claude:gone"_s), u"Claude:session"_s},
        {"no session either", snapshotOf({codex, claudeWeek}, u"Claude:gone"_s), u"ChatGPT:primary"_s},
        {"only others, none chosen", snapshotOf({copilot, codex}), u"Copilot:premium_interactions"_s},
        {"a session of another provider", snapshotOf({metric(AIProvider::ChatGPT, "session"), claudeSession}),
         u"Claude:session"_s},
        {"empty", snapshotOf({}, u"Claude:session"_s), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto primary = primaryMetric(c.snapshot);
        EXPECT_EQ(primary ? std::optional(primary->id()) : std::nullopt, c.expected);
    }
}

// Claude's per-model weekly windows go last, stably, and only five rows are kept.
TEST(WidgetContent, MediumRows)
{
    const auto c = [](const char* kind) { return metric(AIProvider::Claude, kind); };
    const auto g = [](const char* kind) { return metric(AIProvider::ChatGPT, kind); };
    struct Case
    {
        const char* name;
        QList<ProviderMetric> metrics;
        QStringList expected;
    };
    const Case cases[] = {
        {"two per-model among seven",
         {c("session"), c("weekly_opus"), c("weekly_all"), g("primary"), c("weekly_sonnet"), g("secondary"),
          metric(AIProvider::Copilot, "chat")},
         {u"Claude:session"_s, u"Claude:weekly_all"_s, u"ChatGPT:primary"_s, u"ChatGPT:secondary"_s,
          u"Copilot:chat"_s}},
        {"three per-model and four others",
         {c("weekly_opus"), c("session"), c("weekly_sonnet"), c("weekly_all"), c("weekly_haiku"), g("primary"),
          g("weekly_x")},
         {u"Claude:session"_s, u"Claude:weekly_all"_s, u"ChatGPT:primary"_s, u"ChatGPT:weekly_x"_s,
          u"Claude:weekly_opus"_s}},
        {"fewer than five keep file order",
         {g("b"), c("weekly_opus"), g("a")},
         {u"ChatGPT:b"_s, u"ChatGPT:a"_s, u"Claude:weekly_opus"_s}},
        {"a bare weekly kind is not per model",
         {c("weekly"), c("weekly_"), g("a")},
         {u"Claude:weekly"_s, u"ChatGPT:a"_s, u"Claude:weekly_"_s}},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        EXPECT_EQ(ids(mediumMetrics(snapshotOf(item.metrics))), item.expected);
    }
}

// What a ring and a bar cover: the shown percent, with a sliver of ring left even when nothing is.
TEST(WidgetContent, RingAndBarFractions)
{
    struct Case
    {
        double used;
        QuotaDisplayMode mode;
        double ring;
        double bar;
    };
    for (const Case& c :
         {Case{90, QuotaDisplayMode::Remaining, 0.1, 0.1}, Case{100, QuotaDisplayMode::Remaining, 0.01, 0},
          Case{130, QuotaDisplayMode::Remaining, 0.01, 0}, Case{-4, QuotaDisplayMode::Remaining, 1, 1},
          Case{0, QuotaDisplayMode::Used, 0.01, 0}, Case{60.9, QuotaDisplayMode::Used, 0.609, 0.609}}) {
        SCOPED_TRACE(c.used);
        EXPECT_NEAR(ringFraction(c.used, c.mode), c.ring, 1e-9);
        EXPECT_NEAR(barFraction(c.used, c.mode), c.bar, 1e-9);
    }
}

// What each family shows of the sample: the small figure, and the medium rows with their
// provider letter and compact reset (or none); in remaining mode a window at 90 % used shows
// 10 % left, red.
TEST(WidgetContent, SmallAndMediumContent)
{
    const WidgetSnapshot& sample = sampleSnapshot();
    const auto small = smallContent(sample, sample.timestamp, kUsEnglish);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->percentText, u"42%"_s);
    EXPECT_EQ(small->caption, u"Claude \u00B7 5-Hour"_s);
    EXPECT_EQ(small->resetText, u"Resets in 2h"_s);
    EXPECT_EQ(small->color, UsageColor::Green);
    const MediumContent rows = mediumContent(sample, sample.timestamp, kUsEnglish);
    EXPECT_EQ(rows.updatedText, u"Updated now"_s);
    const QString inThreeDays = monthDayText(sample.timestamp.addSecs(259200), kUsEnglish);
    EXPECT_EQ(rowTexts(rows), (QStringList{u"C 5-Hour 42% 2h"_s, u"C 7-Day 18% "_s + inThreeDays,
                                           u"G 5-Hour 63% 1h 30m"_s, u"P Premium 7% -"_s}));
    EXPECT_EQ(rows.rows[2].color, UsageColor::Yellow);

    WidgetSnapshot remaining =
        snapshotOf({metric(AIProvider::Claude, "session", 90), metric(AIProvider::Claude, "weekly_all", 35)});
    remaining.displayMode = QuotaDisplayMode::Remaining;
    remaining.metrics[0].resetsAt = kNow.addSecs(3000);
    remaining.metrics[1].resetsAt = kNow.addSecs(400000);
    const auto left = smallContent(remaining, kNow, kUsEnglish);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->percentText, u"10%"_s);
    EXPECT_EQ(left->color, UsageColor::Red);
    EXPECT_NEAR(left->ringFraction, 0.1, 1e-9);
    const MediumContent leftRows = mediumContent(remaining, kNow, kUsEnglish);
    EXPECT_EQ(rowTexts(leftRows), (QStringList{u"C session 10% 50m"_s, u"C weekly_all 65% Jan 10"_s}));
    EXPECT_EQ(leftRows.rows[1].color, UsageColor::Green);
}
