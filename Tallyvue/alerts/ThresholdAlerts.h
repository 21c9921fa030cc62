// SPDX-License-Identifier: MIT
#pragma once

#include "alerts/AlertNotifier.h"
#include "model/ProviderMetric.h"

#include <QDateTime>
#include <QList>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

/**
 * Threshold alerts: one desktop notification per limit window when its used percent first reaches
 * the provider's threshold. Stateless; what has been reported lives in the settings store under
 * "TallyvueNotifiedAlerts" (JSON text), so it survives restarts. Main thread only.
 */
namespace tallyvue::ThresholdAlerts {

using Clock = std::function<QDateTime()>;

inline constexpr QStringView kCategory = u"quota.threshold";

/// Compares every window with its threshold and sends the alerts that are due. Does nothing
/// while no notifier is installed.
void evaluate(const QList<ProviderMetric>& metrics, const QDateTime& now);

/// The provider's own threshold, else the single "alertThreshold", else 90 (each only when > 0).
double threshold(AIProvider provider);

/// What one alert shows; `send` posts exactly this.
AlertNotification content(const ProviderMetric& metric, QuotaDisplayMode mode, const QDateTime& now, double threshold);
/// Posts one alert without waiting for the desktop, then logs it.
void send(const ProviderMetric& metric, QuotaDisplayMode mode, const QDateTime& now, double threshold);

/// The metric the settings panel tests with: the highest used percent, the first among equals.
std::optional<ProviderMetric> testAlertMetric(const QList<ProviderMetric>& metrics);
/// Sends one alert for `metric` (or a sample Claude 5-hour window); the remembered alerts are
/// neither read nor changed.
void sendTestAlert(const std::optional<ProviderMetric>& metric, const Clock& clock = &QDateTime::currentDateTimeUtc);

QCoro::Task<NotificationAuthorization> authorizationStatus();
QCoro::Task<ShowPreviews> showPreviewsSetting();
/// Asks for permission to alert; a failed request is logged and counts as not granted.
QCoro::Task<bool> requestAuthorization();
void openNotificationSettings();
bool canOpenNotificationSettings();

/// Installs the desktop's notification service (null removes it). Without one nothing is
/// evaluated, test alerts are dropped and the status reads "denied".
void installNotifier(std::shared_ptr<AlertNotifier> notifier);
/// The installed notification service, or null.
std::shared_ptr<AlertNotifier> notifier();

} // namespace tallyvue::ThresholdAlerts
