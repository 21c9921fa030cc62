// SPDX-License-Identifier: MIT
#include "logic/WidgetConfiguration.h"

using namespace Qt::StringLiterals;

namespace tallyvue::widget {

QString rawValue(WidgetFamily family)
{
    return family == WidgetFamily::Medium ? u"medium"_s : u"small"_s;
}

std::optional<WidgetFamily> familyFromRaw(QStringView raw)
{
    if (raw == u"small")
        return WidgetFamily::Small;
    if (raw == u"medium")
        return WidgetFamily::Medium;
    return std::nullopt;
}

QSize familySize(WidgetFamily family)
{
    return family == WidgetFamily::Medium ? QSize(364, 170) : QSize(170, 170);
}

} // namespace tallyvue::widget
