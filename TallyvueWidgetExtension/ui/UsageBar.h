// SPDX-License-Identifier: MIT
#pragma once

#include "logic/UsageModel.h"

#include <QRectF>

class QPainter;

namespace tallyvue::widget {

struct WidgetStyle;

/// A slim progress bar: a rounded faint track over the full width, filled from the leading edge.
struct UsageBar
{
    static constexpr double kHeight = 6;

    double usedPercent = 0;
    QuotaDisplayMode displayMode = QuotaDisplayMode::Used;

    /// Draws a bar of kHeight, vertically centred in `bounds`, over its full width.
    void paint(QPainter& painter, const QRectF& bounds, const WidgetStyle& style, Qt::LayoutDirection direction) const;
};

} // namespace tallyvue::widget
