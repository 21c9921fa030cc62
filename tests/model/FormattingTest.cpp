// SPDX-License-Identifier: MIT
#include "model/Formatting.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tallyvue;

// Percent labels clamp first, then truncate (never round), in both display modes.
TEST(Formatting, PercentText)
{
    struct Case
    {
        double percent;
        const char* used;
        const char* remaining;
    };
    for (const Case& c : {Case{42.7, "42%", "57%"}, Case{-3, "0%", "100%"}, Case{100.4, "100%", "0%"},
                          Case{99.99, "99%", "0%"}, Case{0, "0%", "100%"}, Case{NAN, "0%", "100%"}}) {
        SCOPED_TRACE(c.percent);
        EXPECT_EQ(percentText(c.percent, QuotaDisplayMode::Used).toStdString(), c.used);
        EXPECT_EQ(percentText(c.percent, QuotaDisplayMode::Remaining).toStdString(), c.remaining);
    }
}

// Compact durations at each unit boundary, including the one-minute floor.
TEST(Formatting, DurationText)
{
    const std::pair<double, const char*> cases[] = {
        {0, "1m"},        {119, "1m"},        {120, "2m"},     {3599, "59m"},      {3600, "1h"},
        {3659, "1h"},     {3660, "1h 1m"},    {7500, "2h 5m"}, {86399, "23h 59m"}, {86400, "1d"},
        {90000, "1d 1h"}, {604799, "6d 23h"}, {-50, "1m"},     {NAN, "1m"}};
    for (const auto& [seconds, text] : cases) {
        SCOPED_TRACE(seconds);
        EXPECT_EQ(durationText(seconds).toStdString(), text);
    }
}
