// SPDX-License-Identifier: MIT
// Runs with TZ=Europe/Berlin and LC_ALL=C (see CMakeLists.txt): "Today" and days are local.
#include "TranscriptFixtures.h"

#include "local/LocalOverviewModel.h"
#include "local/LocalUsageCardModel.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

QDateTime utc(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

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

// Each window starts where the provider's own quota window began, else 5 hours / 7 days back;
// only the first metric of a kind anchors, and only while its reset is ahead.
TEST(LocalUsageCardModel, WindowAnchors)
{
    constexpr AIProvider C = AIProvider::Claude;
    constexpr AIProvider G = AIProvider::ChatGPT;
    const auto metric = [](AIProvider p, const char* kind, std::optional<qint64> resetIn,
                           std::optional<double> length) {
        const auto reset = resetIn ? std::optional(kNow.addSecs(*resetIn)) : std::nullopt;
        return ProviderMetric{p, QString::fromLatin1(kind), {}, 10, reset, length};
    };
    constexpr qint64 kFive = -18000;
    constexpr qint64 kSeven = -604800;
    const struct
    {
        const char* name;
        AIProvider provider;
        QList<ProviderMetric> metrics;
        qint64 session, weekly; ///< window starts, seconds from now
    } cases[] = {
        {"anchored",
         C,
         {metric(C, "session", 7200, 18000), metric(C, "weekly_all", 86400, 604800)},
         -3 * 3600,
         -6 * 86400},
        {"reset passed", C, {metric(C, "five_hour", -60, 18000)}, kFive, kSeven},
        {"reset now", C, {metric(C, "session", 0, 18000)}, kFive, kSeven},
        {"no length",
         G,
         {metric(G, "primary", 600, std::nullopt), metric(G, "secondary", 600, std::nullopt)},
         kFive,
         kSeven},
        {"zero length", G, {metric(G, "primary", 600, 0)}, kFive, kSeven},
        {"no reset", C, {metric(C, "seven_day", std::nullopt, 604800)}, kFive, kSeven},
        {"first wins", C, {metric(C, "session", -5, 18000), metric(C, "five_hour", 3600, 18000)}, kFive, kSeven},
        {"other provider", G, {metric(C, "primary", 3600, 18000)}, kFive, kSeven},
        {"codex windows",
         G,
         {metric(G, "primary", 3600, 18000), metric(G, "secondary", 3600, 604800)},
         -4 * 3600,
         kSeven + 3600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto windows = localUsageWindows({}, c.provider, c.metrics, kNow);
        EXPECT_EQ(windows[0].start, kNow.addSecs(c.session));
        EXPECT_EQ(windows[1].start, utc("2026-01-09T23:00:00Z")); // Today
        EXPECT_EQ(windows[2].start, kNow.addSecs(c.weekly));
        for (const LocalUsageWindow& window : windows)
            EXPECT_EQ(window.end, kNow);
    }
}

// Half-open windows: an event at the start counts, one at now does not.
TEST(LocalUsageCardModel, WindowTotalsAreHalfOpen)
{
    const std::vector<LocalUsageEvent> events{
        event(AIProvider::Claude, kNow.addSecs(-18000), 1),          // 5-hour start
        event(AIProvider::Claude, kNow.addSecs(-18001), 10),         // just before it
        event(AIProvider::Claude, utc("2026-01-09T23:00:00Z"), 100), // local midnight
        event(AIProvider::Claude, kNow.addSecs(-604800), 1000),      // 7-day start
        event(AIProvider::Claude, kNow, 10000),                      // now: not yet
    };
    const auto windows = localUsageWindows(events, AIProvider::Claude, {}, kNow);
    EXPECT_EQ(windows[0].totals.requests, 1);
    EXPECT_EQ(windows[0].totals.inputTokens, 1);
    EXPECT_EQ(windows[1].totals.inputTokens, 111);
    EXPECT_EQ(windows[2].totals.inputTokens, 1111);
    EXPECT_EQ(windows[2].totals.tokens(), 1111 + 4 * 3);
    EXPECT_EQ(windowDetailText(windows[2].totals), u"4 requests · 4 out · 8 cached");
    EXPECT_EQ(windows[2].cost, (LocalUsageCost{0, 0, 4})); // "m" has no list price
}

// The API value beside the counts: the priced part of a window or range, nothing for a window
// without a priced request, and the unpriced requests counted apart.
TEST(LocalUsageCardModel, CostTexts)
{
    const auto prices = PriceTable::parse(test::kTestPrices);
    ASSERT_TRUE(prices);
    const auto priced = event(AIProvider::Claude, kNow.addSecs(-60), 1'000'000, "claude-flat"); // $3.0000156
    const auto unpriced = event(AIProvider::Claude, kNow.addSecs(-60), 5, "claude-y");
    const auto elsewhere = event(AIProvider::ChatGPT, kNow.addSecs(-60), 1'000'000, "claude-flat");
    const auto old = event(AIProvider::Claude, kNow.addDays(-8), 1'000'000, "claude-flat");
    struct Case
    {
        const char* name;
        std::vector<LocalUsageEvent> events;
        const char* row;
        const char* value;
        const char* note;
    };
    const Case cases[] = {
        {"priced", {priced, priced, old}, "2 requests · 2 out · 4 cached · $6.00", "≈ $6.00", ""},
        {"mixed",
         {priced, unpriced, unpriced},
         "3 requests · 3 out · 6 cached · $3.00",
         "≈ $3.00",
         "2 requests not priced"},
        {"unpriced", {unpriced, elsewhere}, "1 requests · 1 out · 2 cached", "—", "1 request not priced"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
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

// The overview's single pass gives what the separate aggregations give; counts are of raw
// model texts; only providers present reach the daily chart.
TEST(LocalUsageCardModel, OverviewMatchesAggregations)
{
    std::vector<LocalUsageEvent> events;
    const char* models[] = {"claude-opus-4-1", "claude-opus-4-1-20250805", "gpt-5-codex", "claude-sonnet-4-5"};
    const char* projects[] = {"alpha", "beta", "gamma"};
    for (int i = 0; i < 400; ++i) {
        const AIProvider provider = i % 4 == 2 ? AIProvider::ChatGPT : AIProvider::Claude;
        events.push_back(event(provider, kNow.addSecs(-i * 1800), 1000 + i, models[i % 4], projects[i % 3]));
    }
    for (const auto& [provider, range] : {std::pair{std::optional<AIProvider>(), LocalRange::Week},
                                          std::pair{std::optional(AIProvider::Claude), LocalRange::Day}}) {
        const auto data = LocalOverviewData::build(events, provider, range, kNow, 6);
        std::vector<LocalUsageEvent> narrowed;
        for (const LocalUsageEvent& e : events) {
            if (!provider || e.provider == *provider)
                narrowed.push_back(e);
        }
        const QDateTime start = kNow.addSecs(-spanSeconds(range));
        EXPECT_EQ(data.totals, localUsageTotals(narrowed, start, kNow));
        EXPECT_EQ(data.cost, localUsageCost(narrowed, start, kNow));
        EXPECT_EQ(data.projectStacks, projectStacks(narrowed, start, kNow, 6));
        EXPECT_EQ(data.modelStacks, modelStacks(narrowed, start, kNow, 6));
        EXPECT_EQ(data.projects, 3);
        EXPECT_EQ(data.models, provider ? 3 : 4);
        const auto expectedProviders =
            provider ? QList{AIProvider::Claude} : QList{AIProvider::Claude, AIProvider::ChatGPT};
        EXPECT_EQ(data.providers, expectedProviders);
        EXPECT_EQ(data.daily.size(), std::size_t(chartDays(range) * expectedProviders.size()));
    }

    // Only events older than a day: the 24-hour range has nothing.
    const std::vector<LocalUsageEvent> old{event(AIProvider::Claude, kNow.addSecs(-90000), 5)};
    EXPECT_FALSE(LocalOverviewData::build(old, AIProvider::Claude, LocalRange::Day, kNow, 6).hasEvents);
    EXPECT_TRUE(LocalOverviewData::build(old, AIProvider::Claude, LocalRange::Week, kNow, 6).hasEvents);
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
        if (c.claudeConfig)
            setenv("CLAUDE_CONFIG_DIR", QByteArray(c.claudeConfig).replace("~", QFile::encodeName(home)).constData(),
                   1);
        else
            unsetenv("CLAUDE_CONFIG_DIR");
        if (c.codexHome)
            setenv("CODEX_HOME", c.codexHome, 1);
        else
            unsetenv("CODEX_HOME");
        EXPECT_EQ(transcriptFolderText(AIProvider::Claude), QLatin1String(c.claude));
        EXPECT_EQ(transcriptFolderText(AIProvider::ChatGPT), QLatin1String(c.codex));
        EXPECT_TRUE(transcriptFolderText(AIProvider::Copilot).isEmpty());
    }
    unsetenv("CLAUDE_CONFIG_DIR");
    unsetenv("CODEX_HOME");
}
