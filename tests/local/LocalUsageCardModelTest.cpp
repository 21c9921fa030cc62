// SPDX-License-Identifier: MIT
// Runs with TZ=Europe/Berlin and LC_ALL=C (see CMakeLists.txt): "Today" and days are local.
#include "TranscriptFixtures.h"

#include "local/LocalOverviewModel.h"
#include "local/LocalUsageCardModel.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;
using tallyvue::test::utc;

namespace {

LocalUsageEvent event(AIProvider provider, const QDateTime& at, std::int64_t input, const char* model = "m",
                      const char* project = "p")
{
    LocalUsageEvent e;
    e.provider = provider;
    e.timestamp = at.toMSecsSinceEpoch();
    e.model = InternedString(std::string_view(model));
    e.project = InternedString(std::string_view(project));
    e.inputTokens = input;
    e.outputTokens = 1;
    e.cacheReadTokens = 2;
    return e;
}

const QDateTime kNow = utc("2026-01-10T15:00:00Z"); // 16:00 in Berlin

} // namespace

// The API value beside the counts: the priced part of a half-open window or range (a request a
// second before the five hours counts in the week only, one at now in neither), nothing for a
// window without a priced request, and the unpriced requests counted apart.
TEST(LocalUsageCardModel, CostTexts)
{
    const auto prices = PriceTable::parse(test::kTestPrices);
    ASSERT_TRUE(prices);
    const auto priced = event(AIProvider::Claude, kNow.addSecs(-60), 1'000'000, "claude-flat"); // $3.0000156
    const auto unpriced = event(AIProvider::Claude, kNow.addSecs(-60), 5, "claude-y");
    const auto elsewhere = event(AIProvider::ChatGPT, kNow.addSecs(-60), 1'000'000, "claude-flat");
    const auto beforeFiveHours = event(AIProvider::Claude, kNow.addSecs(-18001), 1'000'000, "claude-flat");
    const auto atNow = event(AIProvider::Claude, kNow, 1'000'000, "claude-flat");
    struct Case
    {
        std::vector<LocalUsageEvent> events;
        const char* row;
        const char* value;
        const char* note;
    };
    const Case cases[] = {
        {{priced, priced, beforeFiveHours, atNow}, "2 requests · 2 out · 4 cached · $6.00", "≈ $9.00", ""},
        {{priced, unpriced, unpriced}, "3 requests · 3 out · 6 cached · $3.00", "≈ $3.00", "2 requests not priced"},
        {{unpriced, elsewhere}, "1 requests · 1 out · 2 cached", "—", "1 request not priced"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const auto windows = localUsageWindows(c.events, AIProvider::Claude, {}, kNow, *prices);
        EXPECT_EQ(windowDetailText(windows[0].totals, windows[0].cost), QString::fromUtf8(c.row));
        const auto tiles =
            LocalOverviewData::build(c.events, AIProvider::Claude, LocalRange::Week, kNow, 6, *prices).tiles();
        ASSERT_EQ(tiles.size(), 5u);
        EXPECT_EQ(tiles[4], (LocalSummaryTile{u"API value"_s, QString::fromUtf8(c.value), u"at list prices"_s,
                                              QString::fromUtf8(c.note)}));
    }
}

// Shares: display names merge model texts; zero tokens give fractions of 0; limits cut the
// smallest; percents round to the nearest whole.
TEST(LocalUsageCardModel, Shares)
{
    const QDateTime from = kNow.addSecs(-3600);
    const std::vector<LocalUsageEvent> models{
        event(AIProvider::Claude, from, 297, "claude-opus-4-1-20250805"),
        event(AIProvider::Claude, from.addSecs(1), 97, "claude-opus-4-1"),
        event(AIProvider::Claude, from.addSecs(2), 97, "claude-sonnet-4-5"),
        event(AIProvider::Claude, from.addSecs(-1), 5000, "claude-sonnet-4-5"), // before the range
    };
    const auto shares = modelShares(models, from, kNow, 8);
    ASSERT_EQ(shares.size(), 2u);
    EXPECT_EQ(shares[0].name, u"Opus 4.1");
    EXPECT_EQ(shares[0].totals.requests, 2);
    EXPECT_DOUBLE_EQ(shares[0].fraction, 0.8);
    EXPECT_EQ(sharePercentText(shares[1].fraction), u"20%");
    EXPECT_EQ(modelShares(models, from, kNow, 1).size(), 1u);

    LocalUsageEvent zero = event(AIProvider::Claude, from, 0);
    zero.outputTokens = zero.cacheReadTokens = 0;
    const auto zeros = projectShares(std::vector{zero, zero}, from, kNow, 4);
    ASSERT_EQ(zeros.size(), 1u);
    EXPECT_EQ(zeros[0].fraction, 0.0);
    EXPECT_EQ(zeros[0].totals.requests, 2);

    const auto single = modelShares(std::vector{event(AIProvider::Claude, from, 5)}, from, kNow, 4);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(sharePercentText(single[0].fraction), u"100%");

    // A card counts only its own provider's events.
    const auto card = LocalUsageCardData::build(models, AIProvider::ChatGPT, {}, kNow);
    EXPECT_TRUE(card.projects.empty());
    EXPECT_FALSE(card.hasEvents);
}

// A week across the switch to summer time: each day is a local calendar day of its real length
// (the Sunday has 23 hours), today last, empty days at 0; the chart's stacks are named by weekday,
// one per provider and day.
TEST(LocalUsageCardModel, DaysAcrossDaylightSaving)
{
    const std::vector<LocalUsageEvent> events{
        event(AIProvider::Claude, utc("2026-03-28T22:59:59Z"), 4),  // Sat 23:59:59 CET
        event(AIProvider::Claude, utc("2026-03-28T23:00:00Z"), 94), // Sun 00:00 CET
        event(AIProvider::ChatGPT, utc("2026-03-29T21:59:59Z"), 7), // Sun 23:59:59 CEST
        event(AIProvider::Claude, utc("2026-03-29T22:00:00Z"), 8),  // Mon 00:00 CEST
        event(AIProvider::Claude, utc("2026-03-24T22:59:59Z"), 9),  // before the week
        event(AIProvider::Claude, utc("2026-03-31T10:00:00Z"), 1),  // today
    };
    const QDateTime now = utc("2026-03-31T08:00:00Z");
    const auto days = dayTotals(events, 7, now);
    const auto stacks = dailyStacks(events, 7, now);
    ASSERT_EQ(days.size(), 7u);
    ASSERT_EQ(stacks.size(), 21u);
    const std::int64_t inputs[] = {0, 0, 0, 4, 101, 8, 1};
    const std::int64_t claude[] = {0, 0, 0, 7, 97, 11, 4};
    const QStringList names{u"Wed"_s, u"Thu"_s, u"Fri"_s, u"Sat"_s, u"Sun"_s, u"Mon"_s, u"Tue"_s};
    for (std::size_t d = 0; d < 7; ++d) {
        SCOPED_TRACE(d);
        EXPECT_EQ(days[d].totals.inputTokens, inputs[d]);
        EXPECT_EQ(stacks[3 * d].name, names[qsizetype(d)]);
        EXPECT_EQ(stacks[3 * d].provider, AIProvider::Claude);
        EXPECT_EQ(stacks[3 * d].tokens, claude[d]);
        EXPECT_EQ(stacks[3 * d + 1].tokens, d == 4 ? 10 : 0);
        EXPECT_EQ(stacks[3 * d + 2].provider, AIProvider::Copilot);
        EXPECT_EQ(stacks[3 * d + 2].day, days[d].day);
    }
    EXPECT_EQ(days[4].day, utc("2026-03-28T23:00:00Z"));
    EXPECT_EQ(days[4].day.secsTo(days[5].day), 23 * 3600);
    EXPECT_EQ(days[6].day, utc("2026-03-30T22:00:00Z"));
    EXPECT_TRUE(dayTotals(events, 0, kNow).empty());
    EXPECT_TRUE(dailyStacks(events, 0, now).empty());
}

// The folders the empty texts name are the ones the scanner reads on this machine: where
// CLAUDE_CONFIG_DIR and CODEX_HOME point, else Claude Code's two folders and ~/.codex.
TEST(LocalUsageCardModel, TranscriptFolders)
{
    const QString home = QDir::homePath();
    struct Case
    {
        const char* claudeConfig;
        const char* codexHome;
        QStringList existing;
        const char* claude;
        const char* codex;
    };
    const Case cases[] = {
        {nullptr, nullptr, {}, "~/.claude/projects", "~/.codex/sessions"},
        {nullptr, nullptr, {u".config/claude/projects"_s}, "~/.config/claude/projects", "~/.codex/sessions"},
        {nullptr,
         nullptr,
         {u".config/claude/projects"_s, u".claude/projects"_s},
         "~/.config/claude/projects and ~/.claude/projects",
         "~/.codex/sessions"},
        {"~/cfg", "/srv/codex", {}, "~/cfg/projects", "/srv/codex/sessions"},
        {"", nullptr, {}, "~/.claude/projects", "~/.codex/sessions"}, // empty reads as unset
    };
    for (const Case& c : cases) {
        QDir(home + u"/.config"_s).removeRecursively();
        QDir(home + u"/.claude"_s).removeRecursively();
        for (const QString& folder : c.existing)
            QDir(home).mkpath(folder);
        for (const auto& [name, value] :
             {std::pair{"CLAUDE_CONFIG_DIR", c.claudeConfig}, std::pair{"CODEX_HOME", c.codexHome}}) {
            if (value)
                qputenv(name, QByteArray(value).replace("~", QFile::encodeName(home)));
            else
                qunsetenv(name);
        }
        EXPECT_EQ(transcriptFolderText(AIProvider::Claude), QLatin1String(c.claude));
        EXPECT_EQ(transcriptFolderText(AIProvider::ChatGPT), QLatin1String(c.codex));
        EXPECT_TRUE(transcriptFolderText(AIProvider::Copilot).isEmpty());
    }
    qunsetenv("CLAUDE_CONFIG_DIR");
    qunsetenv("CODEX_HOME");
}
