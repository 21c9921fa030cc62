// SPDX-License-Identifier: MIT
#pragma once

#include "model/Result.h"

#include <QString>

#include <qcoro/qcorotask.h>

namespace tallyvue {

/// Whether the desktop lets Tallyvue show notifications, in the order of the stored platform values 0...4.
enum class NotificationAuthorization { NotDetermined, Denied, Authorized, Provisional, Ephemeral };
/// Whether a notification's text is shown in full, in the order of the platform values 0...2.
enum class ShowPreviews { Always, WhenUnlocked, Never };

QString displayText(NotificationAuthorization status);
QString displayText(ShowPreviews setting);

/// One desktop notification, as the alerts build it; the notifier decides how each field is shown.
struct AlertNotification
{
    QString title;
    QString subtitle;
    QString body;
    QString categoryIdentifier;
    QString threadIdentifier; ///< groups alerts per provider
    QString metricId;         ///< the only user info: which window the alert is about
    QString requestIdentifier;

    friend bool operator==(const AlertNotification&, const AlertNotification&) = default;
};

/**
 * The desktop's notification service, as the alerts see it. The core never talks to the desktop
 * directly; the application (or the CLI) installs an implementation at start-up. Main thread only.
 */
class AlertNotifier
{
public:
    virtual ~AlertNotifier() = default;

    /// Hands one notification to the desktop and returns at once; the outcome is not reported.
    virtual void post(const AlertNotification& notification) = 0;
    virtual QCoro::Task<NotificationAuthorization> authorizationStatus() = 0;
    virtual QCoro::Task<ShowPreviews> showPreviewsSetting() = 0;
    /// Whether alerts (with sound) may be shown, or the reason the request failed.
    virtual QCoro::Task<Result<bool, QString>> requestAuthorization() = 0;
    /// Opens the desktop's notification settings where the desktop has such a page.
    virtual void openNotificationSettings() = 0;
    /// Whether the desktop has such a page; the settings panel hides its button otherwise.
    virtual bool canOpenNotificationSettings() const { return false; }
};

} // namespace tallyvue
