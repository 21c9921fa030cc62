// SPDX-License-Identifier: MIT
#include "logic/WidgetContent.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyvue::widget {

double ringFraction(double usedPercent, QuotaDisplayMode mode)
{
    return std::max(kMinimumRingFraction, shownPercent(usedPercent, mode) / 100.0);
}

double barFraction(double usedPercent, QuotaDisplayMode mode)
{
    return shownPercent(usedPercent, mode) / 100.0;
}

bool isEmptyEntry(const UsageEntry& entry)
{
    return !entry.snapshot || entry.snapshot->metrics.isEmpty();
}

std::optional<SmallContent> smallContent(const WidgetSnapshot& snapshot, const QDateTime& now, const QLocale& locale)
{
    const auto metric = primaryMetric(snapshot);
    if (!metric)
        return std::nullopt;
    const QuotaDisplayMode mode = snapshot.displayMode;
    return SmallContent{
        percentText(metric->percent, mode),
        rawValue(metric->provider) % u" \u00B7 " % metric->title,
        resetText(metric->resetsAt, now, ResetForm::Full, locale),
        usageColor(metric->percent),
        ringFraction(metric->percent, mode),
    };
}

MediumContent mediumContent(const WidgetSnapshot& snapshot, const QDateTime& now, const QLocale& locale)
{
    MediumContent content;
    content.updatedText = u"Updated "_s + relativeTimeText(snapshot.timestamp, now);
    const QuotaDisplayMode mode = snapshot.displayMode;
    for (const ProviderMetric& metric : mediumMetrics(snapshot)) {
        content.rows.append({
            providerLetter(metric.provider),
            metric.title,
            percentText(metric.percent, mode),
            resetText(metric.resetsAt, now, ResetForm::Compact, locale),
            usageColor(metric.percent),
            barFraction(metric.percent, mode),
        });
    }
    return content;
}

} // namespace tallyvue::widget
