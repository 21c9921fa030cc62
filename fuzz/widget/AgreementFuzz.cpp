// SPDX-License-Identifier: MIT
// Any bytes, read by the widget and by the application: both accept or both refuse, and read the same values.
#include "logic/SnapshotDecoder.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto byWidget = tallyvue::widget::decodeSnapshot(bytes);
    const auto byApp = tallyvue::decodeWidgetSnapshot(bytes);
    if (byWidget.has_value() != byApp.has_value())
        std::abort();
    if (!byWidget)
        return 0;
    if (byWidget->timestamp != byApp->timestamp || byWidget->metrics.size() != byApp->metrics.size() ||
        byWidget->primaryMetricID != byApp->primaryMetricID ||
        tallyvue::widget::rawValue(byWidget->displayMode) != tallyvue::rawValue(byApp->displayMode))
        std::abort();
    for (qsizetype i = 0; i < byWidget->metrics.size(); ++i) {
        const auto& w = byWidget->metrics[i];
        const auto& a = byApp->metrics[i];
        if (w.id() != a.id() || w.title != a.title || w.resetsAt != a.resetsAt || w.windowLength != a.windowLength ||
            (w.percent != a.percent && !(std::isnan(w.percent) && std::isnan(a.percent))))
            std::abort();
    }
    return 0;
}
