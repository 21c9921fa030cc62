// SPDX-License-Identifier: MIT
// Starts `tallyvue` against a local server and a StatusNotifierWatcher on a private bus, and
// prints: start-up to tray item registered, resident memory after the first refresh, and CPU
// use while idle between refreshes. `--idle-seconds N` shortens the idle window (default 120).
#include "platform/TestServers.h"
#include "support/HttpServer.h"
#include "support/SampleProviders.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstdio>
#include <functional>

using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

/// Notes when the item registers, as a desktop's tray would.
class Watcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    bool hostRegistered() const { return true; }
    qint64 registeredAt = -1;
    QElapsedTimer* clock = nullptr;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString&)
    {
        if (registeredAt < 0)
            registeredAt = clock->elapsed();
    }
};

/// Resident set size in MB, from /proc.
double residentMegabytes(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

/// User plus system CPU time of the process, in clock ticks.
long long cpuTicks(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The command name may hold spaces; the fields after it are plain.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int idleSeconds = 120;
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(u"--idle-seconds"_s); at >= 0 && at + 1 < args.size())
        idleSeconds = args[at + 1].toInt();

    PrivateBus daemon;
    if (!daemon.start()) {
        std::fprintf(stderr, "dbus-daemon did not start\n");
        return 1;
    }
    const QString address = daemon.address();
    QDBusConnection bus = QDBusConnection::connectToBus(address, u"bench"_s);
    QElapsedTimer clock;
    Watcher watcher;
    watcher.clock = &clock;
    bus.registerObject(u"/StatusNotifierWatcher"_s, &watcher,
                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    bus.registerService(u"org.kde.StatusNotifierWatcher"_s);

    HttpServer server;
    if (!server.start())
        return 1;
    serveSampleProviders(server);

    QTemporaryDir home;
    QProcessEnvironment env = sampleProviderEnvironment(home.path(), server);
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, address);
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);

    QProcess tallyvue;
    tallyvue.setProcessEnvironment(env);
    tallyvue.setProcessChannelMode(QProcess::MergedChannels);
    QByteArray output;
    QObject::connect(&tallyvue, &QProcess::readyRead, [&] { output += tallyvue.readAll(); });
    clock.start();
    tallyvue.start(QStringLiteral(TALLYVUE_APP_PATH), {});
    if (!waitUntil([&] { return watcher.registeredAt >= 0; }, 10000)) {
        std::fprintf(stderr, "the tray item never registered:\n%s\n", output.constData());
        return 1;
    }
    const qint64 startup = watcher.registeredAt;

    // The first refresh ends after the history and widget snapshot are written.
    const QString snapshot = home.path() + u"/.local/share/K2V8R4NW7T.com.tallyvue.shared/widgetSnapshot.json"_s;
    if (!waitUntil([&] { return output.contains("Usage refreshed at") && QFile::exists(snapshot); }, 20000)) {
        std::fprintf(stderr, "the first refresh did not finish:\n%s\n", output.constData());
        return 1;
    }
    settle(1000); // let the last redraws settle
    const double resident = residentMegabytes(tallyvue.processId());

    const long long before = cpuTicks(tallyvue.processId());
    QElapsedTimer idle;
    idle.start();
    settle(idleSeconds * 1000);
    const long long after = cpuTicks(tallyvue.processId());
    const double seconds = idle.elapsed() / 1000.0;
    const double cpu = double(after - before) / double(sysconf(_SC_CLK_TCK)) / seconds * 100.0;

    tallyvue.terminate();
    tallyvue.waitForFinished(5000);

    std::printf("tallyvue start-up to tray item registered: %lld ms (target < 500 ms)\n",
                static_cast<long long>(startup));
    std::printf("tallyvue resident memory after the first refresh: %.1f MB (target < 80 MB)\n", resident);
    std::printf("tallyvue CPU while idle over %.0f s: %.3f %% (target < 0.5 %%)\n", seconds, cpu);
    return 0;
}

#include "TrayStartupBench.moc"
