// SPDX-License-Identifier: MIT
// `tallyvue-cli alert`, run as a real process against a private session bus.
#include "platform/FakeNotificationServer.h"
#include "platform/TestBus.h"

#include <QProcess>
#include <QSettings>

#include <gtest/gtest.h>

using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

/// Runs the CLI while this process keeps serving the fake server's calls.
CliRun runCli(const QStringList& args, const QString& busAddress)
{
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (busAddress.isNull())
        env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
    else
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, busAddress);
    env.remove(u"DISPLAY"_s); // no autolaunched bus either
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(TALLYVUE_CLI_PATH), QStringList{u"alert"_s} + args);
    waitUntil([&] { return cli.state() == QProcess::NotRunning; }, 20000);
    return {cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1,
            QString::fromUtf8(cli.readAllStandardOutput()), QString::fromUtf8(cli.readAllStandardError())};
}

} // namespace

class AlertCommandTest : public BusTest
{
protected:
    void SetUp() override
    {
        QSettings(u"Tallyvue"_s, u"Tallyvue"_s).clear(); // the CLI reads this process's settings folder
        BusTest::SetUp();
    }

    std::unique_ptr<FakeNotificationServer> startServer()
    {
        auto server = std::make_unique<FakeNotificationServer>(bus.connect(u"cli-fake"_s));
        EXPECT_TRUE(server->start());
        return server;
    }
};

// `alert test` delivers the sample alert and says through which server; `alert status` prints the
// authorisation, the previews reading and the alert settings.
TEST_F(AlertCommandTest, TestAndStatusWithAServer)
{
    const auto server = startServer();
    CliRun run = runCli({u"test"_s}, bus.address());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"Sent a test alert through Fake 1.0.\n"_s);
    EXPECT_TRUE(run.err.contains(u"[Tallyvue] Sent a test alert for Claude:session"_s));
    ASSERT_EQ(server->received.size(), 1);
    EXPECT_EQ(server->received[0].summary, u"Test alert · Claude Code · 5-Hour"_s);
    EXPECT_TRUE(server->received[0].body.startsWith(u"87% used — Alert threshold 90% · resets in 1h 3"_s));

    run = runCli({u"status"_s}, bus.address());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"Notifications: authorized (Fake 1.0)\n"
                       "Show Previews: always\n"
                       "Threshold alerts: off (Claude 90%, ChatGPT 90%, Copilot 90%)\n"_s);
}

// Without a server, or without a bus at all, both commands say so and exit 1; bad usage exits 2.
TEST_F(AlertCommandTest, ClearMessagesWithoutAService)
{
    // Arguments, bus address, then the exit code and what standard output and error contain.
    const std::tuple<QStringList, QString, int, QString, QString> rows[] = {
        {{u"test"_s}, bus.address(), 1, {}, u"cannot send the test alert: no notification service is running"_s},
        {{u"status"_s}, bus.address(), 1, u"Notifications: denied (no notification service is running"_s, {}},
        {{u"test"_s}, QString(), 1, {}, u"no D-Bus session bus (DBUS_SESSION_BUS_ADDRESS is not set)"_s},
        {{u"status"_s}, u"disabled:"_s, 1, {}, u"cannot reach the D-Bus session bus"_s},
        {{}, bus.address(), 2, {}, u"'alert' needs 'test' or 'status'"_s},
        {{u"send"_s}, bus.address(), 2, {}, u"unknown alert command 'send'"_s},
        {{u"test"_s, u"now"_s}, bus.address(), 2, {}, u"takes no arguments"_s},
    };
    for (const auto& [args, address, exitCode, stdoutHas, stderrHas] : rows) {
        SCOPED_TRACE(QString(args.join(u' ') + u" @ "_s + address).toStdString());
        const CliRun run = runCli(args, address);
        EXPECT_EQ(run.exitCode, exitCode);
        EXPECT_TRUE(run.out.contains(stdoutHas)) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(stderrHas)) << run.err.toStdString();
    }
}
