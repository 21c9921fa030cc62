// SPDX-License-Identifier: MIT
#include "insights/Presentation.h"

#include "model/Timestamp.h"

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {
const QDateTime kNow = *parseTimestamp(u"2026-01-05T12:00:00Z"_s);
}

// The change part rounds halves away from zero and only a rise of a whole point gets a "+".
TEST(Presentation, ChangeCaption)
{
    struct Case
    {
        double delta;
        const char* icon;
        const char* text;
        CaptionTone tone;
    };
    const Case cases[] = {
        {3.2, "arrow.up.right", "+3% last hour", CaptionTone::Secondary},
        {0.5, "arrow.up.right", "+1% last hour", CaptionTone::Secondary},
        {0.49, "arrow.right", "0% last hour", CaptionTone::Tertiary},
        {-0.3, "arrow.right", "0% last hour", CaptionTone::Tertiary},
        {-0.5, "arrow.down.right", "-1% last hour", CaptionTone::Tertiary},
        {-4.6, "arrow.down.right", "-5% last hour", CaptionTone::Tertiary},
    };
    for (const Case& c : cases) {
        const auto caption = insightCaption({std::nullopt, c.delta, Projection::insufficientData()}, kNow);
        ASSERT_TRUE(caption.change) << c.delta;
        EXPECT_EQ(caption.change->icon, QString::fromLatin1(c.icon)) << c.delta;
        EXPECT_EQ(caption.change->text, QString::fromLatin1(c.text)) << c.delta;
        EXPECT_EQ(caption.change->tone, c.tone) << c.delta;
        EXPECT_EQ(caption.change->toolTip, u"Change over the last hour");
        EXPECT_FALSE(caption.projection);
    }
    EXPECT_FALSE(insightCaption({}, kNow).change);
}

TEST(Presentation, ProjectionCaption)
{
    const auto part = [](const Projection& projection) {
        return insightCaption({1.0, std::nullopt, projection}, kNow).projection;
    };
    EXPECT_EQ(part(Projection::stable()), (CaptionPart{{}, u"steady"_s, CaptionTone::Tertiary, {}}));
    EXPECT_EQ(
        part(Projection::endsAt(89.5)),
        (CaptionPart{{}, u"ends at ~90%"_s, CaptionTone::Secondary, u"Projected usage when this window resets"_s}));
    EXPECT_EQ(part(Projection::hitsLimit(kNow.addSecs(2 * 3600 + 5 * 60))),
              (CaptionPart{u"exclamationmark.triangle.fill"_s, u"100% in ~2h 5m"_s, CaptionTone::Red,
                           u"At the current pace you reach the limit before it resets"_s}));
    EXPECT_EQ(part(Projection::hitsLimit(kNow.addSecs(-3600)))->text, u"100% in ~1m");
    EXPECT_FALSE(part(Projection::insufficientData()));
}

TEST(Presentation, ResetCountdown)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const auto text = [&](std::optional<qint64> seconds) {
        return resetCountdownText(seconds ? std::optional(kNow.addSecs(*seconds)) : std::nullopt, kNow, english);
    };
    EXPECT_FALSE(text(std::nullopt));
    EXPECT_EQ(text(0), u"Resets soon");
    EXPECT_EQ(text(-90), u"Resets soon");
    EXPECT_EQ(text(59), u"Resets in 1m");
    EXPECT_EQ(text(7500), u"Resets in 2h 5m");
    EXPECT_EQ(text(129600), u"Resets in 1d 12h");
    // Past 36 hours: weekday, then day and month in the locale's own order.
    const QDateTime later = kNow.addSecs(129601).toLocalTime();
    EXPECT_EQ(text(129601), u"Resets "_s + english.toString(later.date(), u"ddd, MMM d"));
    EXPECT_TRUE(text(129601)->contains(u"Jan"));
    const std::pair<QLocale, const char*> locales[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "ddd, MMM d"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "ddd, d MMM"},
        {QLocale(QLocale::German, QLocale::Germany), "ddd, d MMM"},
        {QLocale::c(), "ddd, MMM d"},
    };
    for (const auto& [locale, pattern] : locales)
        EXPECT_EQ(weekdayMonthDayPattern(locale), QString::fromUtf8(pattern)) << locale.name().toStdString();
}

TEST(Presentation, RelativeTime)
{
    const std::pair<qint64, const char*> cases[] = {
        {0, "now"},
        {1, "1 second ago"},
        {45, "45 seconds ago"},
        {60, "1 minute ago"},
        {150, "2 minutes ago"},
        {3600 * 5, "5 hours ago"},
        {86400 + 5, "yesterday"},
        {86400 * 3, "3 days ago"},
        {-7200, "in 2 hours"},
    };
    for (const auto& [secondsAgo, text] : cases)
        EXPECT_EQ(relativeTimeText(kNow.addSecs(-secondsAgo), kNow), QString::fromUtf8(text)) << secondsAgo;
}
