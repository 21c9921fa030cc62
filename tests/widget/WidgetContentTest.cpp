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

/// The metrics' ids, space-separated.
QString ids(const QList<ProviderMetric>& metrics)
{
    QStringList result;
    for (const ProviderMetric& m : metrics)
        result << m.id();
    return result.join(u' ');
}

} // namespace

// The small widget's metric: the chosen one, else Claude's session, else the first, else none.
TEST(WidgetContent, PrimaryMetric)
{
    const auto claudeWeek = metric(AIProvider::Claude, "weekly_all");
    const auto claudeSession = metric(AIProvider::Claude, "session");
    const auto codex = metric(AIProvider::ChatGPT, "primary");
    const auto copilot = metric(AIProvider::Copilot, "premium_interactions");
    const std::tuple<const char*, WidgetSnapshot, std::optional<QString>> cases[] = {
        {"chosen", snapshotOf({claudeSession, codex}, u"ChatGPT:primary"_s), u"ChatGPT:primary"_s},
        {"chosen names nothing", snapshotOf({claudeWeek, codex, claudeSession}, u"Claude:gone"_s), u"Claude:session"_s},
        {"no session either", snapshotOf({codex, claudeWeek}, u"Claude:gone"_s), u"ChatGPT:primary"_s},
        {"only others, none chosen", snapshotOf({copilot, codex}), u"Copilot:premium_interactions"_s},
        {"a session of another provider", snapshotOf({metric(AIProvider::ChatGPT, "session"), claudeSession}),
         u"Claude:session"_s},
        {"empty", snapshotOf({}, u"Claude:session"_s), std::nullopt},
    };
    for (const auto& [name, snapshot, expected] : cases) {
        SCOPED_TRACE(name);
        const auto primary = primaryMetric(snapshot);
        EXPECT_EQ(primary ? std::optional(primary->id()) : std::nullopt, expected);
    }
}

// Claude's per-model weekly windows go last, stably, and only five rows are kept.
TEST(WidgetContent, MediumRows)
{
    const auto c = [](const char* kind) { return metric(AIProvider::Claude, kind); };
    const auto g = [](const char* kind) { return metric(AIProvider::ChatGPT, kind); };
    const std::tuple<const char*, QList<ProviderMetric>, const char*> cases[] = {
        {"two per-model among seven",
         {c("session"), c("weekly_opus"), c("weekly_all"), g("primary"), c("weekly_sonnet"), g("secondary"),
          metric(AIProvider::Copilot, "chat")},
         "Claude:session Claude:weekly_all ChatGPT:primary ChatGPT:secondary Copilot:chat"},
        {"three per-model and four others",
         {c("weekly_opus"), c("session"), c("weekly_sonnet"), c("weekly_all"), c("weekly_haiku"), g("primary"),
          g("weekly_x")},
         "Claude:session Claude:weekly_all ChatGPT:primary ChatGPT:weekly_x Claude:weekly_opus"},
        {"fewer than five keep file order",
         {g("b"), c("weekly_opus"), g("a")},
         "ChatGPT:b ChatGPT:a Claude:weekly_opus"},
        {"a bare weekly kind is not per model",
         {c("weekly"), c("weekly_"), g("a")},
         "Claude:weekly ChatGPT:a Claude:weekly_"},
    };
    for (const auto& [name, metrics, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ids(mediumMetrics(snapshotOf(metrics))).toStdString(), expected);
    }
}
