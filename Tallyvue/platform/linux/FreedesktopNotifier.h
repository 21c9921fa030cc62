// SPDX-License-Identifier: MIT
#pragma once

#include "alerts/AlertNotifier.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QStringList>

namespace tallyvue {

/**
 * Threshold alerts through the freedesktop notification service (org.freedesktop.Notifications).
 * A reachable server counts as "authorized"; a server that shows bodies counts as "Show Previews:
 * always". A click on any of our notifications brings Tallyvue forward (AppRoutes).
 * Every call is asynchronous: a synchronous call against a server in this very process would
 * block until its time-out.
 */
class FreedesktopNotifier : public QObject, public AlertNotifier
{
    Q_OBJECT

public:
    /// Our desktop entry's name, so the desktop can attribute and group our notifications.
    static constexpr QStringView kDesktopEntry = u"tallyvue";

    explicit FreedesktopNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    void post(const AlertNotification& notification) override;
    QCoro::Task<NotificationAuthorization> authorizationStatus() override;
    QCoro::Task<ShowPreviews> showPreviewsSetting() override;
    QCoro::Task<Result<bool, QString>> requestAuthorization() override;
    void openNotificationSettings() override;
    bool canOpenNotificationSettings() const override;

    struct ServerInformation
    {
        QString name;
        QString vendor;
        QString version;
        QString specVersion;
    };
    /// Who serves notifications on this bus, or why nobody can be reached.
    QCoro::Task<Result<ServerInformation, QString>> serverInformation();
    /// Waits until the server has answered every posted notification; the first failure, if any.
    QCoro::Task<Result<bool, QString>> waitForDelivery();
    /// The request identifier of a notification the server is still showing, by the server's id.
    QString requestIdentifier(uint serverId) const;

Q_SIGNALS:
    /// The server accepted a notification (or refused it: serverId 0 and an error text).
    void delivered(const QString& requestIdentifier, uint serverId, const QString& error);

private Q_SLOTS:
    // QDBusConnection::connect only takes slots by signature in Qt 6.4.
    void onActionInvoked(uint serverId, const QString& actionKey);
    void onNotificationClosed(uint serverId, uint reason);
    void onActivationToken(uint serverId, const QString& token);

private:
    QCoro::Task<> deliver(AlertNotification notification);
    QCoro::Task<Result<QStringList, QString>> capabilities();

    QDBusConnection m_bus;
    QHash<uint, QString> m_shown;
    int m_inFlight = 0;
    QString m_firstFailure;
};

namespace detail {
/// The desktop's own notification settings command for an XDG_CURRENT_DESKTOP value, if one is
/// installed (first match wins); empty when none is known.
QStringList notificationSettingsCommand(const QString& currentDesktop);
} // namespace detail

} // namespace tallyvue
