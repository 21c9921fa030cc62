// SPDX-License-Identifier: MIT
#include "model/ClaudeMetrics.h"
#include "model/MenuBarLabelText.h"
#include "model/Timestamp.h"

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {
UsageLimit limit(const char* kind, double percent, std::optional<QString> displayName = {})
{
    UsageLimit result{QString::fromLatin1(kind), percent, u"2025-09-19T17:00:00.477734+00:00"_s, std::nullopt};
    if (displayName)
        result.scope = LimitScope{LimitModel{displayName}};
    return result;
}
} // namespace

// The limit list wins over the fixed windows when it has entries; titles and window
// lengths follow the kind.
TEST(ClaudeMetrics, FromLimitList)
{
    UsageResponse usage;
    usage.fiveHour = UsageWindow{50, std::nullopt};
    usage.limits = QList<UsageLimit>{limit("session", 12), limit("weekly_all", 30, u"Opus"_s),
                                     limit("weekly_sonnet_only", 7), limit("__monthly__extra", 1)};
    const auto metrics = claudeMetrics(usage);
    ASSERT_EQ(metrics.size(), 4);
    EXPECT_EQ(metrics[0].title, u"5-Hour");
    EXPECT_EQ(metrics[0].windowLength, 18000);
    EXPECT_EQ(metrics[0].resetsAt, dateFromEpochMs(1758301200477));
    EXPECT_EQ(metrics[1].title, u"Opus");
    EXPECT_EQ(metrics[1].windowLength, 604800);
    EXPECT_EQ(metrics[2].title, u"Weekly Sonnet Only");
    EXPECT_EQ(metrics[2].windowLength, 604800);
    EXPECT_EQ(metrics[3].title, u"Monthly Extra");
    EXPECT_FALSE(metrics[3].windowLength);
}

// An empty limit list falls back to the five-hour and seven-day windows only.
TEST(ClaudeMetrics, FallsBackToWindows)
{
    UsageResponse usage;
    usage.limits = QList<UsageLimit>{};
    usage.fiveHour = UsageWindow{42.7, u"2026-01-05T17:00:00Z"_s};
    usage.sevenDay = UsageWindow{63, std::nullopt};
    usage.sevenDayOpus = UsageWindow{99, std::nullopt};
    const auto metrics = claudeMetrics(usage);
    ASSERT_EQ(metrics.size(), 2);
    EXPECT_EQ(metrics[0].id(), u"Claude:session");
    EXPECT_EQ(metrics[1].id(), u"Claude:weekly_all");
    EXPECT_FALSE(metrics[1].resetsAt);
}

// Picking a badge in the settings: the label then shows what was picked, also when the
// defaults were in force before ("None" leaves one badge; a first badge keeps the default second).
TEST(MenuBarLabelText, ChoosingBadges)
{
    const QDateTime now = *parseTimestamp(u"2026-01-05T12:00:00Z"_s);
    const QList<ProviderMetric> metrics = {
        {AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42.7, std::nullopt, 18000},
        {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 63, std::nullopt, 604800},
        {AIProvider::ChatGPT, u"primary"_s, u"5-Hour"_s, 17, std::nullopt, std::nullopt},
    };
    struct Case
    {
        BadgeChoices stored;
        bool first;
        QString id;
        BadgeChoices expected;
        const char16_t* label;
    };
    const Case cases[] = {
        {{}, false, {}, {u"Claude:session"_s, {}}, u"42%"},
        {{}, false, u"ChatGPT:primary"_s, {u"Claude:session"_s, u"ChatGPT:primary"_s}, u"C 42%  ·  G 17%"},
        {{}, true, u"ChatGPT:primary"_s, {u"ChatGPT:primary"_s, u"Claude:weekly_all"_s}, u"G 17%  ·  C 63%"},
        {{u"Claude:weekly_all"_s, {}},
         false,
         u"Claude:session"_s,
         {u"Claude:weekly_all"_s, u"Claude:session"_s},
         u"63%  ·  5h 42%"},
        {{u"Claude:weekly_all"_s, u"Claude:session"_s},
         true,
         u"ChatGPT:primary"_s,
         {u"ChatGPT:primary"_s, u"Claude:session"_s},
         u"G 17%  ·  C 42%"},
        {{u"Claude:weekly_all"_s, u"Claude:session"_s}, false, {}, {u"Claude:weekly_all"_s, {}}, u"63%"},
    };
    for (const Case& c : cases) {
        const BadgeChoices chosen = chooseBadge(metrics, c.stored, c.first, c.id);
        EXPECT_EQ(chosen, c.expected) << c.id.toStdString() << ' ' << c.first;
        EXPECT_EQ(menuBarLabelText(selectBadges(metrics, chosen.selected, chosen.secondary), QuotaDisplayMode::Used,
                                   false, now),
                  QString::fromUtf16(c.label))
            << c.id.toStdString();
    }
}
