// SPDX-License-Identifier: MIT
#include "platform/linux/FreedesktopNotifier.h"

#include "alerts/AppRoutes.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <QStandardPaths>

#include <qcoro/qcorodbuspendingcall.h>
#include <qcoro/qcorosignal.h>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

const QString kService = u"org.freedesktop.Notifications"_s;
const QString kPath = u"/org/freedesktop/Notifications"_s;
const QString kInterface = u"org.freedesktop.Notifications"_s;
// A standard sound-theme name: servers that play sounds use the user's own choice for it.
const QString kDefaultSound = u"message-new-instant"_s;

QDBusMessage call(const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    return message;
}

QDBusMessage notifyCall(const AlertNotification& notification)
{
    // One line: GNOME Shell's banners drop line breaks and would run the two parts together.
    // Both hold only numbers and fixed words, so they read the same on markup servers.
    const QString body = notification.subtitle + u" — "_s + notification.body;
    const QVariantMap hints{
        {u"category"_s, notification.categoryIdentifier},
        {u"desktop-entry"_s, FreedesktopNotifier::kDesktopEntry.toString()},
        {u"sound-name"_s, kDefaultSound},
        {u"x-tallyvue-metric-id"_s, notification.metricId},
    };
    // The "default" action is what a click on the notification itself invokes.
    const QStringList actions{u"default"_s, u"Open Tallyvue"_s};
    return call(u"Notify"_s, {u"Tallyvue"_s, uint(0), FreedesktopNotifier::kDesktopEntry.toString(), notification.title,
                              body, actions, hints, -1});
}

QString describe(const QDBusMessage& reply)
{
    if (reply.errorName() == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
        reply.errorName() == u"org.freedesktop.DBus.Error.NameHasNoOwner")
        return u"no notification service is running on the session bus"_s;
    if (reply.errorName() == u"org.freedesktop.DBus.Error.Disconnected" || reply.errorName().isEmpty())
        return u"the D-Bus session bus cannot be reached"_s;
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

} // namespace

namespace detail {

QStringList notificationSettingsCommand(const QString& currentDesktop)
{
    // Each desktop's own notification page; the first installed candidate wins.
    static const std::pair<QStringView, QList<QStringList>> kTable[] = {
        {u"gnome", {{u"gnome-control-center"_s, u"notifications"_s}}},
        {u"unity", {{u"gnome-control-center"_s, u"notifications"_s}}},
        {u"ubuntu", {{u"gnome-control-center"_s, u"notifications"_s}}},
        {u"budgie", {{u"budgie-control-center"_s, u"notifications"_s}}},
        {u"kde",
         {{u"systemsettings"_s, u"kcm_notifications"_s},
          {u"kcmshell6"_s, u"kcm_notifications"_s},
          {u"kcmshell5"_s, u"kcm_notifications"_s}}},
        {u"xfce", {{u"xfce4-notifyd-config"_s}}},
        {u"x-cinnamon", {{u"cinnamon-settings"_s, u"notifications"_s}}},
        {u"mate", {{u"mate-notification-properties"_s}}},
        {u"lxqt", {{u"lxqt-config-notificationd"_s}}},
    };
    for (const QString& desktop : currentDesktop.toLower().split(u':', Qt::SkipEmptyParts)) {
        for (const auto& [name, candidates] : kTable) {
            if (desktop != name)
                continue;
            for (const QStringList& command : candidates) {
                const QString program = QStandardPaths::findExecutable(command.first());
                if (!program.isEmpty())
                    return QStringList{program} + command.mid(1);
            }
        }
    }
    return {};
}
} // namespace detail

FreedesktopNotifier::FreedesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus)
{
    m_bus.connect(kService, kPath, kInterface, u"ActionInvoked"_s, this, SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, u"NotificationClosed"_s, this, SLOT(onNotificationClosed(uint, uint)));
    m_bus.connect(kService, kPath, kInterface, u"ActivationToken"_s, this, SLOT(onActivationToken(uint, QString)));
}

void FreedesktopNotifier::post(const AlertNotification& notification)
{
    ++m_inFlight;
    deliver(notification); // runs on by itself; the outcome is only kept for waitForDelivery()
}

QCoro::Task<> FreedesktopNotifier::deliver(AlertNotification notification)
{
    const QDBusMessage reply = co_await m_bus.asyncCall(notifyCall(notification));

    uint serverId = 0;
    QString error;
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        serverId = reply.arguments().constFirst().toUInt();
        m_shown.insert(serverId, notification.requestIdentifier);
    } else {
        error = describe(reply);
        if (m_firstFailure.isEmpty())
            m_firstFailure = error;
    }
    --m_inFlight;
    Q_EMIT delivered(notification.requestIdentifier, serverId, error);
}

QCoro::Task<Result<QStringList, QString>> FreedesktopNotifier::capabilities()
{
    const QDBusMessage reply = co_await m_bus.asyncCall(call(u"GetCapabilities"_s));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return describe(reply);
    co_return reply.arguments().constFirst().toStringList();
}

QCoro::Task<NotificationAuthorization> FreedesktopNotifier::authorizationStatus()
{
    const auto caps = co_await capabilities();
    co_return caps ? NotificationAuthorization::Authorized : NotificationAuthorization::Denied;
}

QCoro::Task<ShowPreviews> FreedesktopNotifier::showPreviewsSetting()
{
    const auto caps = co_await capabilities();
    co_return caps && caps->contains(u"body"_s) ? ShowPreviews::Always : ShowPreviews::Never;
}

QCoro::Task<Result<bool, QString>> FreedesktopNotifier::requestAuthorization()
{
    // There is no permission dialog on these desktops: a server that answers will show alerts.
    const auto caps = co_await capabilities();
    if (!caps)
        co_return caps.error();
    co_return true;
}

void FreedesktopNotifier::openNotificationSettings()
{
    const QStringList command = detail::notificationSettingsCommand(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    if (!command.isEmpty())
        QProcess::startDetached(command.first(), command.mid(1));
}

bool FreedesktopNotifier::canOpenNotificationSettings() const
{
    return !detail::notificationSettingsCommand(qEnvironmentVariable("XDG_CURRENT_DESKTOP")).isEmpty();
}

QCoro::Task<Result<FreedesktopNotifier::ServerInformation, QString>> FreedesktopNotifier::serverInformation()
{
    const QDBusMessage reply = co_await m_bus.asyncCall(call(u"GetServerInformation"_s));
    const QVariantList values = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || values.size() < 4)
        co_return describe(reply);
    co_return ServerInformation{values[0].toString(), values[1].toString(), values[2].toString(), values[3].toString()};
}

QCoro::Task<Result<bool, QString>> FreedesktopNotifier::waitForDelivery()
{
    while (m_inFlight > 0)
        co_await qCoro(this, &FreedesktopNotifier::delivered);
    if (!m_firstFailure.isEmpty())
        co_return std::exchange(m_firstFailure, QString());
    co_return true;
}

QString FreedesktopNotifier::requestIdentifier(uint serverId) const
{
    return m_shown.value(serverId);
}

void FreedesktopNotifier::onActionInvoked(uint serverId, const QString& actionKey)
{
    Q_UNUSED(actionKey); // every click on one of ours means "show me", whatever it carries
    if (!m_shown.contains(serverId))
        return;
    // "quota-Claude:session-1767614400" (a test alert's has "test-" before it): show Claude.
    const QString request = m_shown.value(serverId);
    const qsizetype start = request.indexOf(u"quota-"_s);
    const qsizetype colon = request.indexOf(u':');
    std::optional<AIProvider> provider;
    if (start >= 0 && colon > start)
        provider = providerFromRaw(QStringView(request).mid(start + 6, colon - start - 6));
    AppRoutes::instance().bringForward(provider);
}

void FreedesktopNotifier::onNotificationClosed(uint serverId, uint reason)
{
    Q_UNUSED(reason);
    m_shown.remove(serverId);
}

void FreedesktopNotifier::onActivationToken(uint serverId, const QString& token)
{
    // Sent just before ActionInvoked on Wayland. Clients take the activation token from this
    // variable when they next show a window, so the popover may take focus.
    if (m_shown.contains(serverId) && !token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}

} // namespace tallyvue
