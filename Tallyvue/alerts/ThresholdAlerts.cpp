// SPDX-License-Identifier: MIT
#include "alerts/ThresholdAlerts.h"

namespace tallyvue::ThresholdAlerts {

void evaluate(const QList<ProviderMetric>& metrics, const QDateTime& now)
{
    Q_UNUSED(metrics);
    Q_UNUSED(now); // threshold alerts land separately
}

} // namespace tallyvue::ThresholdAlerts
