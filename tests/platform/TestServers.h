// SPDX-License-Identifier: MIT
// Real servers for the desktop-service tests: a private D-Bus session bus and an Xvfb display,
// each started by the test itself and stopped when it ends.
#pragma once

#include "support/Tools.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <functional>

namespace tallyvue::test {

/// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
inline bool waitUntil(const std::function<bool()>& done, int ms = 15000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return done();
}

/// Keeps the event loop running for `ms`, so anything still queued arrives.
inline void settle(int ms)
{
    waitUntil([] { return false; }, ms);
}

/// Starts a server process that writes one line (its address) on standard output.
class LineServer
{
public:
    ~LineServer()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    bool start(const QString& program, const QStringList& arguments)
    {
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(5000))
            return false;
        QByteArray line;
        QDeadlineTimer deadline(10000);
        while (!line.contains('\n') && !deadline.hasExpired() &&
               m_process.waitForReadyRead(int(deadline.remainingTime())))
            line += m_process.readAllStandardOutput();
        m_line = QString::fromUtf8(line.left(line.indexOf('\n'))).trimmed();
        return !m_line.isEmpty();
    }

    QString line() const { return m_line; }

private:
    QProcess m_process;
    QString m_line;
};

/// A dbus-daemon of our own: no service activation, so only what a test registers exists.
class PrivateBus
{
public:
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

private:
    LineServer m_server;
};

/// An Xvfb on a free display number (Xvfb picks it and tells us through -displayfd).
class XvfbServer
{
public:
    bool start()
    {
        return m_server.start(QStringLiteral("Xvfb"),
                              {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                               QStringLiteral("0"), QStringLiteral("640x480x24"), QStringLiteral("-nolisten"),
                               QStringLiteral("tcp"), QStringLiteral("-noreset")});
    }
    QString display() const { return QLatin1Char(':') + m_server.line(); }

private:
    LineServer m_server;
};

} // namespace tallyvue::test
