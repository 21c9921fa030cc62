// SPDX-License-Identifier: MIT
#include "model/ProviderMetric.h"

#include "model/Formatting.h"

using namespace Qt::StringLiterals;

namespace tallyvue {

QString rawValue(QuotaDisplayMode mode)
{
    return mode == QuotaDisplayMode::Remaining ? u"remaining"_s : u"used"_s;
}

QuotaDisplayMode displayModeFromRaw(QStringView raw)
{
    return raw == u"remaining" ? QuotaDisplayMode::Remaining : QuotaDisplayMode::Used;
}

std::optional<QuotaDisplayMode> strictDisplayModeFromRaw(QStringView raw)
{
    if (raw == u"used")
        return QuotaDisplayMode::Used;
    if (raw == u"remaining")
        return QuotaDisplayMode::Remaining;
    return std::nullopt;
}

QString metricId(AIProvider provider, QStringView kind)
{
    return rawValue(provider) % u':' % kind;
}

QString ProviderMetric::id() const
{
    return metricId(provider, kind);
}

QString ProviderMetric::percentText(QuotaDisplayMode mode) const
{
    return tallyvue::percentText(percent, mode);
}

} // namespace tallyvue
