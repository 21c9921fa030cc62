// SPDX-License-Identifier: MIT
#include "views/local/ComputerName.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QSysInfo>

using namespace Qt::StringLiterals;

namespace tallyvue {

ComputerName& ComputerName::instance()
{
    static ComputerName* name = new ComputerName; // lives as long as the views that read it
    return *name;
}

ComputerName::ComputerName()
{
    const QString host = QSysInfo::machineHostName();
    if (host != u"localhost")
        m_name = host;
}

void ComputerName::setName(const QString& name)
{
    if (name == m_name)
        return;
    m_name = name;
    Q_EMIT changed();
}

void ComputerName::lookUp(const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return;
    // An asynchronous call: the hostname service may first have to be started by the bus.
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.hostname1"_s, u"/org/freedesktop/hostname1"_s,
                                                       u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    call << u"org.freedesktop.hostname1"_s << u"PrettyHostname"_s;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *done;
        if (reply.isError())
            return;
        const QString pretty = reply.value().variant().toString().trimmed();
        if (!pretty.isEmpty())
            setName(pretty);
    });
}

} // namespace tallyvue
