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
    using Titles = QList<std::pair<QString, std::optional<double>>>; // title, window length
    Titles titles;
    for (const ProviderMetric& metric : metrics)
        titles.append({metric.title, metric.windowLength});
    ASSERT_EQ(titles, (Titles{{u"5-Hour"_s, 18000},
                              {u"Opus"_s, 604800},
                              {u"Weekly Sonnet Only"_s, 604800},
                              {u"Monthly Extra"_s, std::nullopt}}));
    EXPECT_EQ(metrics[0].resetsAt, dateFromEpochMs(1758301200477));
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
    const QString session = u"Claude:session"_s, weekly = u"Claude:weekly_all"_s, primary = u"ChatGPT:primary"_s;
    // The stored badges, whether the first badge is picked, the pick; then the badges and the label.
    const std::tuple<BadgeChoices, bool, QString, BadgeChoices, const char16_t*> cases[] = {
        {{}, false, {}, {session, {}}, u"42%"},
        {{}, false, primary, {session, primary}, u"C 42%  ·  G 17%"},
        {{}, true, primary, {primary, weekly}, u"G 17%  ·  C 63%"},
        {{weekly, {}}, false, session, {weekly, session}, u"63%  ·  5h 42%"},
        {{weekly, session}, true, primary, {primary, session}, u"G 17%  ·  C 42%"},
        {{weekly, session}, false, {}, {weekly, {}}, u"63%"},
    };
    for (const auto& [stored, first, id, expected, label] : cases) {
        SCOPED_TRACE(id.toStdString() + (first ? " first" : " second"));
        const BadgeChoices chosen = chooseBadge(metrics, stored, first, id);
        EXPECT_EQ(chosen, expected);
        EXPECT_EQ(menuBarLabelText(selectBadges(metrics, chosen.selected, chosen.secondary), QuotaDisplayMode::Used,
                                   false, now),
                  QString::fromUtf16(label));
    }
}
