// SPDX-License-Identifier: MIT
#pragma once

#include "logic/UsageModel.h"

#include <QRectF>

class QPainter;

namespace tallyvue::widget {

struct WidgetStyle;

/// A circular gauge: a faint full track and, from the top clockwise, an arc for the shown percent.
struct UsageRing
{
    double usedPercent = 0;
    QuotaDisplayMode displayMode = QuotaDisplayMode::Used;
    double lineWidth = 8;

    /// Draws into the largest square centred in `bounds`; the stroke stays inside it.
    void paint(QPainter& painter, const QRectF& bounds, const WidgetStyle& style) const;
};

} // namespace tallyvue::widget
