// SPDX-License-Identifier: MIT
#include "views/charts/ChartPalette.h"

#include "views/common/Style.h"

#include <array>

namespace tallyvue::style {

QColor chartColor(int index, const QPalette& palette)
{
    struct Rgb
    {
        double r, g, b;
    };
    static constexpr std::array<Rgb, kChartColorCount> kLight{{
        {0.16, 0.47, 0.84}, {0.00, 0.51, 0.00}, {0.78, 0.27, 0.48}, {0.66, 0.44, 0.00}}};
    static constexpr std::array<Rgb, kChartColorCount> kDark{{
        {0.22, 0.53, 0.90}, {0.19, 0.70, 0.30}, {0.84, 0.32, 0.51}, {0.79, 0.52, 0.00}}};
    const auto& table = isDark(palette) ? kDark : kLight;
    const Rgb& c = table[static_cast<size_t>(((index % kChartColorCount) + kChartColorCount) % kChartColorCount)];
    return QColor::fromRgbF(float(c.r), float(c.g), float(c.b));
}

} // namespace tallyvue::style
