// SPDX-License-Identifier: MIT
#pragma once

#include "platform/TestServers.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace tallyvue::test {

/// A dbus-daemon of our own: no service activation, so only what a test registers exists. The
/// connections opened with connect() close before it stops.
class PrivateBus
{
public:
    ~PrivateBus()
    {
        for (const QString& name : m_connections)
            QDBusConnection::disconnectFromBus(name);
    }

    bool start()
    {
        const QString config = QDir::tempPath() + QStringLiteral("/private-bus.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:tmpdir=" +
                   QDir::tempPath().toUtf8() +
                   "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                   "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                   "<allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        return m_server.start(QStringLiteral("dbus-daemon"),
                              {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                               QStringLiteral("--print-address=1")});
    }
    QString address() const { return m_server.line(); }
    QDBusConnection connect(const QString& name)
    {
        m_connections.append(name);
        return QDBusConnection::connectToBus(address(), name);
    }

private:
    LineServer m_server;
    QStringList m_connections;
};

/// A test with a private bus of its own; it skips where dbus-daemon is not installed. A SetUp()
/// that goes on after this one's returns when IsSkipped() or HasFatalFailure().
class BusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const auto why = missingTools({"dbus-daemon"}))
            GTEST_SKIP() << *why;
        ASSERT_TRUE(bus.start()) << "dbus-daemon did not start";
    }

    PrivateBus bus;
};

} // namespace tallyvue::test
