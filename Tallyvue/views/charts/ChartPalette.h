// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QPalette>

namespace tallyvue::style {

/// How many series a chart colours; later series are not drawn.
inline constexpr int kChartColorCount = 4;

/// The colour of the n-th series of a chart (history lines, daily bars, local usage stacks),
/// for the palette's appearance. `index` wraps around past the last colour.
QColor chartColor(int index, const QPalette& palette);

} // namespace tallyvue::style
