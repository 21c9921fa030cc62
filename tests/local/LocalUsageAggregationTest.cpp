// SPDX-License-Identifier: MIT
// Runs with TZ=Europe/Berlin and LC_ALL=C (see CMakeLists.txt): day boundaries are local.
#include "TranscriptFixtures.h"

#include "local/LocalUsageAggregation.h"

#include <limits>

using namespace tallyvue;
using namespace Qt::StringLiterals;
using tallyvue::test::utc;

namespace {

LocalUsageEvent event(AIProvider provider, const char* at, std::int64_t tokens, const char* model = "m",
                      const char* project = "p")
{
    LocalUsageEvent e;
    e.provider = provider;
    e.timestamp = utc(at).toMSecsSinceEpoch();
    e.model = InternedString(model);
    e.project = InternedString(project);
    e.inputTokens = tokens;
    e.outputTokens = 1;
    e.cacheCreationTokens = 2;
    e.cacheReadTokens = 3;
    return e;
}

} // namespace

// Model stacks: display names as keys, largest first, only the providers that used a model.
TEST(LocalUsageAggregation, ModelAndProjectStacks)
{
    const std::vector<LocalUsageEvent> events{
        event(AIProvider::Claude, "2026-01-10T10:00:00Z", 94, "claude-opus-4-1-20250805"),
        event(AIProvider::Claude, "2026-01-10T10:01:00Z", 194, "claude-opus-4-1"),
        event(AIProvider::Claude, "2026-01-10T10:02:00Z", 494, "claude-sonnet-4-5-20250929"),
        event(AIProvider::ChatGPT, "2026-01-10T10:03:00Z", 994, "gpt-5-codex"),
        event(AIProvider::Claude, "2026-01-10T10:04:00Z", 994, "gpt-5-codex"),
        event(AIProvider::Claude, "2026-01-11T00:00:00Z", 994, "gpt-5-codex"), // at the end: not counted
    };
    const auto from = utc("2026-01-10T00:00:00Z");
    const auto to = utc("2026-01-11T00:00:00Z");
    const std::vector<LocalUsageStack> expected{
        {u"GPT 5 codex"_s, AIProvider::Claude, 1000, std::nullopt},
        {u"GPT 5 codex"_s, AIProvider::ChatGPT, 1000, std::nullopt},
        {u"Sonnet 4.5"_s, AIProvider::Claude, 500, std::nullopt},
        {u"Opus 4.1"_s, AIProvider::Claude, 300, std::nullopt},
    };
    EXPECT_EQ(modelStacks(events, from, to, 10), expected);
    EXPECT_EQ(modelStacks(events, from, to, 1).size(), 2u);
    EXPECT_EQ(expected[3].id(), u"Opus 4.1-Claude");
    EXPECT_EQ(displayModelName(u"gpt-4o-mini"_s), u"GPT 4o mini");
    EXPECT_EQ(displayModelName(u"unknown"_s), u"Unknown");
    EXPECT_EQ(displayModelName(u"claude-20250805"_s), u"claude-20250805"); // nothing left to show: as written

    std::vector<LocalUsageEvent> projects;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "p" + std::to_string(i);
        projects.push_back(event(AIProvider::Claude, "2026-01-10T10:00:00Z", 100 * i, "m", name.c_str()));
    }
    const auto top = projectStacks(projects, from, to, 10);
    ASSERT_EQ(top.size(), 10u);
    EXPECT_EQ(top.front().name, u"p11");
    EXPECT_EQ(top.front().tokens, 1106);
    EXPECT_EQ(top.back().name, u"p2");
}

// A damaged line may claim more tokens than a sum can hold: every sum stops at the limit
// instead of wrapping to a negative count.
TEST(LocalUsageAggregation, SumsStopAtTheLimits)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    const std::vector<LocalUsageEvent> events{event(AIProvider::Claude, "2026-01-10T10:00:00Z", kMax),
                                              event(AIProvider::Claude, "2026-01-10T11:00:00Z", kMax - 5)};
    const auto from = utc("2026-01-10T00:00:00Z");
    const auto to = utc("2026-01-11T00:00:00Z");
    EXPECT_EQ(events[0].totalTokens(), kMax);
    const LocalUsageTotals totals = localUsageTotals(events, from, to);
    EXPECT_EQ(totals.inputTokens, kMax);
    EXPECT_EQ(totals.tokens(), kMax);
    EXPECT_EQ(modelStacks(events, from, to, 1).front().tokens, kMax);
    EXPECT_EQ(projectStacks(events, from, to, 1).front().tokens, kMax);
    EXPECT_EQ(dailyStacks(events, 1, utc("2026-01-10T20:00:00Z")).front().tokens, kMax);

    const std::vector<LocalUsageEvent> negative{event(AIProvider::Claude, "2026-01-10T10:00:00Z", kMin),
                                                event(AIProvider::Claude, "2026-01-10T11:00:00Z", -10)};
    EXPECT_EQ(localUsageTotals(negative, from, to).inputTokens, kMin);
}
