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
