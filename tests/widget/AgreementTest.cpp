// SPDX-License-Identifier: MIT
// The widget keeps its own copies of the application's rules; on the same inputs both must agree.
#include "logic/UsageText.h"
#include "model/Formatting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace app = tallyvue;
namespace widget = tallyvue::widget;

namespace {

app::QuotaDisplayMode appMode(widget::QuotaDisplayMode mode)
{
    return mode == widget::QuotaDisplayMode::Remaining ? app::QuotaDisplayMode::Remaining : app::QuotaDisplayMode::Used;
}

} // namespace

// Percent labels in both modes, including out-of-range and non-finite percents.
TEST(Agreement, PercentText)
{
    const double percents[] = {
        0,    0.4,  0.999, 1,   42.7,  49.99, 50,    50.01, 57.3,  79.999, 80,
        80.5, 99.5, 99.99, 100, 100.4, 250,   -0.01, -3,    1e300, -1e300, std::numeric_limits<double>::infinity(),
        NAN};
    for (const double percent : percents) {
        for (const auto mode : {widget::QuotaDisplayMode::Used, widget::QuotaDisplayMode::Remaining}) {
            SCOPED_TRACE(testing::Message() << percent << (mode == widget::QuotaDisplayMode::Used ? " used" : " left"));
            EXPECT_EQ(widget::percentText(percent, mode), app::percentText(percent, appMode(mode)));
            EXPECT_DOUBLE_EQ(widget::shownPercent(percent, mode), app::shownPercent(percent, appMode(mode)));
        }
    }
}

// Duration labels at every unit boundary and beyond the range of an integer.
TEST(Agreement, DurationText)
{
    const double seconds[] = {-1e18,      -50,
                              0,          0.9,
                              59,         60,
                              119,        119.999,
                              120,        3599,
                              3600,       3659,
                              3660,       7500,
                              86399,      86400,
                              89999,      90000,
                              129600,     129601,
                              604799,     604800,
                              31'536'000, 1e15,
                              1e300,      std::numeric_limits<double>::infinity(),
                              NAN};
    for (const double s : seconds) {
        SCOPED_TRACE(s);
        EXPECT_EQ(widget::durationText(s), app::durationText(s));
    }
}
