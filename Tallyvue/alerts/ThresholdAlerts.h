// SPDX-License-Identifier: MIT
#pragma once

#include "model/ProviderMetric.h"

#include <QDateTime>
#include <QList>

namespace tallyvue::ThresholdAlerts {

/// Posts one notification per limit window when it first reaches its provider's threshold.
void evaluate(const QList<ProviderMetric>& metrics, const QDateTime& now);

} // namespace tallyvue::ThresholdAlerts
