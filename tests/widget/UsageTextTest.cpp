// SPDX-License-Identifier: MIT
#include "logic/UsageText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyvue::widget;

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 1, 5), QTime(12, 0), Qt::UTC);
const QLocale kUsEnglish(QLocale::English, QLocale::UnitedStates);

} // namespace

// Both reset forms at the boundaries: now, past, exactly 36 hours, one second more, no reset at all.
TEST(UsageText, ResetTexts)
{
    // Seconds to the reset, then both forms (none without a reset).
    const std::tuple<std::optional<qint64>, const char*, const char*> cases[] = {
        {std::nullopt, nullptr, nullptr},       {0, "Resets soon", "soon"},
        {-3600, "Resets soon", "soon"},         {1, "Resets in 1m", "1m"},
        {5400, "Resets in 1h 30m", "1h 30m"},   {7200, "Resets in 2h", "2h"},
        {129600, "Resets in 1d 12h", "1d 12h"}, {129601, "Resets Jan 7", "Jan 7"},
        {259200, "Resets Jan 8", "Jan 8"},
    };
    for (const auto& [secondsAhead, fullText, compactText] : cases) {
        SCOPED_TRACE(secondsAhead.value_or(-1));
        const auto reset = secondsAhead ? std::optional(kNow.addSecs(*secondsAhead)) : std::nullopt;
        const auto full = resetText(reset, kNow, ResetForm::Full, kUsEnglish);
        const auto compact = resetText(reset, kNow, ResetForm::Compact, kUsEnglish);
        EXPECT_EQ(full.has_value(), fullText != nullptr);
        EXPECT_EQ(compact.has_value(), compactText != nullptr);
        if (fullText) {
            EXPECT_EQ(full->toStdString(), fullText);
            EXPECT_EQ(compact->toStdString(), compactText);
        }
    }
    // A quarter of a second past the reset is past it, not a minute away.
    EXPECT_EQ(resetText(kNow.addMSecs(-250), kNow, ResetForm::Compact), u"soon"_s);
    // The date form follows the locale's order of month and day.
    EXPECT_EQ(
        resetText(kNow.addSecs(259200), kNow, ResetForm::Compact, QLocale(QLocale::English, QLocale::UnitedKingdom)),
        u"8 Jan"_s);
}

// The age of the data in words, with the named forms for a single day, week, month and year.
TEST(UsageText, RelativeTimes)
{
    const std::pair<qint64, const char*> cases[] = {
        {0, "now"},
        {1, "1 second ago"},
        {60, "1 minute ago"},
        {3599, "59 minutes ago"},
        {7200, "2 hours ago"},
        {86400, "yesterday"},
        {3 * 86400, "3 days ago"},
        {7 * 86400, "last week"},
        {21 * 86400, "3 weeks ago"},
        {40 * 86400, "last month"},
        {400 * 86400, "last year"},
        {-120, "in 2 minutes"},
        {-86400, "tomorrow"},
    };
    for (const auto& [secondsAgo, text] : cases) {
        SCOPED_TRACE(secondsAgo);
        EXPECT_EQ(relativeTimeText(kNow.addSecs(-secondsAgo), kNow).toStdString(), text);
    }
}
