// SPDX-License-Identifier: MIT
// A notification server for tests: owns org.freedesktop.Notifications on a private bus, keeps
// every Notify it receives and emits the server's signals on demand.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

namespace tallyvue::test {

class FakeNotificationServer : public QDBusVirtualObject
{
public:
    /// What the tests read of a Notify call, and the id it was given.
    struct Notification
    {
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        uint id = 0;
    };

    QList<Notification> received;
    QStringList capabilities{QStringLiteral("body"), QStringLiteral("actions")};
    /// When set, Notify answers with this D-Bus error instead of an id.
    QString refuseWith;

    explicit FakeNotificationServer(const QDBusConnection& bus) : m_bus(bus) {}

    bool start()
    {
        return m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), this) &&
               m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    void emitSignal(const QString& name, const QVariantList& arguments)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"), name);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString member = message.member();
        const QVariantList args = message.arguments();
        QDBusMessage reply;
        if (member == QLatin1String("GetCapabilities")) {
            reply = message.createReply(QVariant(capabilities));
        } else if (member == QLatin1String("GetServerInformation")) {
            reply = message.createReply({QStringLiteral("Fake"), QStringLiteral("Tallyvue tests"),
                                         QStringLiteral("1.0"), QStringLiteral("1.2")});
        } else if (member == QLatin1String("Notify") && args.size() == 8) {
            if (!refuseWith.isEmpty()) {
                reply = message.createErrorReply(QStringLiteral("org.freedesktop.Notifications.Error"), refuseWith);
            } else {
                received.append({args[3].toString(), args[4].toString(), args[5].toStringList(),
                                 qdbus_cast<QVariantMap>(args[6].value<QDBusArgument>()), uint(received.size() + 1)});
                reply = message.createReply(QVariant(received.constLast().id));
            }
        } else {
            return false;
        }
        connection.send(reply);
        return true;
    }

private:
    QDBusConnection m_bus;
};

} // namespace tallyvue::test
