// SPDX-License-Identifier: MIT
#include "logic/WidgetContent.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyvue::widget;

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 1, 5), QTime(12, 0), Qt::UTC);

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

// Remaining mode shows what is left but colours by what is used; the ring keeps a sliver, the bar does not.
TEST(WidgetContent, RemainingModeAtHighUsage)
{
    struct Case
    {
        double used;
        const char* text;
        UsageColor color;
        double ring;
        double bar;
    };
    for (const Case& c : {Case{90, "10%", UsageColor::Red, 0.1, 0.1}, Case{100, "0%", UsageColor::Red, 0.01, 0},
                          Case{130, "0%", UsageColor::Red, 0.01, 0}, Case{-4, "100%", UsageColor::Green, 1, 1},
                          Case{60.9, "39%", UsageColor::Yellow, 0.391, 0.391}}) {
        SCOPED_TRACE(c.used);
        auto snapshot = snapshotOf({metric(AIProvider::Claude, "session", c.used)});
        snapshot.displayMode = QuotaDisplayMode::Remaining;
        const auto small = smallContent(snapshot, kNow);
        ASSERT_TRUE(small);
        EXPECT_EQ(small->percentText.toStdString(), c.text);
        EXPECT_EQ(small->color, c.color);
        EXPECT_NEAR(small->ringFraction, c.ring, 1e-9);
        const MediumContent medium = mediumContent(snapshot, kNow);
        ASSERT_EQ(medium.rows.size(), 1);
        EXPECT_EQ(medium.rows[0].percentText.toStdString(), c.text);
        EXPECT_EQ(medium.rows[0].color, c.color);
        EXPECT_NEAR(medium.rows[0].barFraction, c.bar, 1e-9);
    }
}

// The texts of both views for one snapshot: caption with a middle dot, full and compact resets, letters, age.
TEST(WidgetContent, ViewTexts)
{
    WidgetSnapshot snapshot = snapshotOf({
        {AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42.7, kNow.addSecs(7260), 18000},
        {AIProvider::ChatGPT, u"primary"_s, u"5-Hour"_s, 63, kNow.addSecs(-5), 18000},
        {AIProvider::Copilot, u"premium_interactions"_s, u"Premium"_s, 7, std::nullopt, std::nullopt},
    });
    snapshot.timestamp = kNow.addSecs(-300);
    const auto small = smallContent(snapshot, kNow);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->caption, u"Claude \u00B7 5-Hour"_s);
    EXPECT_EQ(small->percentText, u"42%"_s);
    EXPECT_EQ(small->resetText, u"Resets in 2h 1m"_s);

    const MediumContent medium = mediumContent(snapshot, kNow);
    EXPECT_EQ(medium.updatedText, u"Updated 5 minutes ago"_s);
    ASSERT_EQ(medium.rows.size(), 3);
    EXPECT_EQ(medium.rows[0].letter, u"C"_s);
    EXPECT_EQ(medium.rows[0].resetText, u"2h 1m"_s);
    EXPECT_EQ(medium.rows[1].letter, u"G"_s);
    EXPECT_EQ(medium.rows[1].resetText, u"soon"_s);
    EXPECT_EQ(medium.rows[1].color, UsageColor::Yellow);
    EXPECT_EQ(medium.rows[2].letter, u"P"_s);
    EXPECT_EQ(medium.rows[2].title, u"Premium"_s);
    EXPECT_FALSE(medium.rows[2].resetText);

    EXPECT_FALSE(isEmptyEntry({kNow, snapshot}));
    EXPECT_TRUE(isEmptyEntry({kNow, snapshotOf({})}));
    EXPECT_TRUE(isEmptyEntry({kNow, std::nullopt}));
}
