// SPDX-License-Identifier: MIT
#include "alerts/AppRoutes.h"
#include "alerts/ThresholdAlerts.h"
#include "model/Preferences.h"
#include "platform/FakeNotificationServer.h"
#include "platform/TestBus.h"
#include "platform/linux/FreedesktopNotifier.h"
#include "support/Await.h"
#include "support/Files.h"
#include "support/OutputCapture.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kT0 = QDateTime::fromSecsSinceEpoch(1767614400, Qt::UTC);

} // namespace

class NotifierTest : public BusTest
{
protected:
    void SetUp() override
    {
        BusTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        QSettings(u"Tallyvue"_s, u"Tallyvue"_s).clear();
        serverBus = bus.connect(u"fake"_s);
        clientBus = bus.connect(u"client"_s);
        ASSERT_TRUE(serverBus.isConnected() && clientBus.isConnected());
        notifier = std::make_shared<FreedesktopNotifier>(clientBus);
        ThresholdAlerts::installNotifier(notifier);
    }
    void TearDown() override
    {
        ThresholdAlerts::installNotifier(nullptr);
        AppRoutes::instance().setOpenPopover({});
        server.reset();
    }
    void startServer()
    {
        server = std::make_unique<FakeNotificationServer>(serverBus);
        ASSERT_TRUE(server->start());
    }
    /// Sends a 95 % Claude alert through the whole evaluation; returns the server's id.
    uint sendAlert()
    {
        ThresholdAlerts::evaluate({sample}, kT0);
        EXPECT_TRUE(await(notifier->waitForDelivery()));
        return server->received.isEmpty() ? 0 : server->received.constLast().id;
    }

    QDBusConnection serverBus{QString()};
    QDBusConnection clientBus{QString()};
    std::unique_ptr<FakeNotificationServer> server;
    std::shared_ptr<FreedesktopNotifier> notifier;
    ProviderMetric sample{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 95, kT0.addSecs(5400), 18000};
};

// A click on one of our notifications opens the popover, or the details window when the
// popover cannot open; clicks on other applications' notifications or closed ones do nothing.
TEST_F(NotifierTest, ClickBringsTallyvueForward)
{
    startServer();
    QStringList posted;
    const auto observer =
        QObject::connect(&AppRoutes::instance(), &AppRoutes::posted, [&](const QString& name) { posted << name; });
    int popovers = 0;
    const uint id = sendAlert();
    ASSERT_NE(id, 0u);
    // The title is the summary, both text lines make the body; the action and entry bring us back.
    const auto& sent = server->received.constLast();
    EXPECT_EQ(sent.body, u"95% used — Alert threshold 90% · resets in 1h 30m"_s);
    EXPECT_EQ(sent.actions, (QStringList{u"default"_s, u"Open Tallyvue"_s}));
    EXPECT_EQ(sent.hints.value(u"desktop-entry"_s).toString(), u"tallyvue"_s);

    // The case, whether the popover opens (none: there is none), the notification clicked, then
    // how often the popover was asked to open and what was posted instead.
    const std::tuple<const char*, std::optional<bool>, uint, int, QStringList> rows[] = {
        {"popover opens", true, id, 1, {}},
        {"popover cannot open", false, id, 1, {u"TallyvueOpenDetails"_s}},
        {"no popover", std::nullopt, id, 0, {u"TallyvueOpenDetails"_s}},
        {"someone else's notification", true, id + 100, 0, {}},
    };
    for (const auto& [name, popoverOpens, clicked, expectPopovers, expectPosted] : rows) {
        SCOPED_TRACE(name);
        popovers = 0;
        posted.clear();
        if (popoverOpens)
            AppRoutes::instance().setOpenPopover([&, opens = *popoverOpens] {
                ++popovers;
                return opens;
            });
        else
            AppRoutes::instance().setOpenPopover({});
        server->emitSignal(u"ActionInvoked"_s, {clicked, u"default"_s});
        const bool reacts = expectPopovers > 0 || !expectPosted.isEmpty();
        waitUntil([&] { return popovers > 0 || !posted.isEmpty(); }, reacts ? 5000 : 300);
        EXPECT_EQ(popovers, expectPopovers);
        EXPECT_EQ(posted, expectPosted);
    }

    server->emitSignal(u"NotificationClosed"_s, {id, 2u});
    ASSERT_TRUE(waitUntil([&] { return notifier->requestIdentifier(id).isEmpty(); }));
    popovers = 0;
    server->emitSignal(u"ActionInvoked"_s, {id, u"default"_s});
    settle(300);
    EXPECT_EQ(popovers, 0);
    QObject::disconnect(observer);
}

// A reachable server is "authorized"; one that shows bodies means "Show Previews: always".
// Without a server everything reads as denied, and the request fails with the log line.
TEST_F(NotifierTest, AuthorizationAndPreviews)
{
    using enum NotificationAuthorization;
    const std::tuple<bool, QStringList, NotificationAuthorization, ShowPreviews> rows[] = {
        {true, {u"body"_s, u"actions"_s}, Authorized, ShowPreviews::Always},
        {true, {u"actions"_s}, Authorized, ShowPreviews::Never},
        {false, {}, Denied, ShowPreviews::Never},
    };
    for (const auto& [serverRuns, capabilities, status, previews] : rows) {
        server.reset();
        if (serverRuns) {
            startServer();
            server->capabilities = capabilities;
        } else {
            serverBus.unregisterService(u"org.freedesktop.Notifications"_s);
        }
        EXPECT_EQ(QCoro::waitFor(ThresholdAlerts::authorizationStatus()), status);
        EXPECT_EQ(QCoro::waitFor(ThresholdAlerts::showPreviewsSetting()), previews);
        OutputCapture output;
        EXPECT_EQ(QCoro::waitFor(ThresholdAlerts::requestAuthorization()), serverRuns);
        EXPECT_EQ(output.text(), serverRuns
                                     ? ""
                                     : "[Tallyvue] Notification authorization failed: no notification service is "
                                       "running on the session bus\n");
    }
}

// A refused or undeliverable notification is not retried, but the caller that waits hears why.
TEST_F(NotifierTest, RefusalIsReportedToWhoWaits)
{
    startServer();
    server->refuseWith = u"too many notifications"_s;
    ThresholdAlerts::sendTestAlert(std::nullopt);
    const auto outcome = await(notifier->waitForDelivery());
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error(), u"too many notifications"_s);
    EXPECT_TRUE(await(notifier->waitForDelivery())); // reported once
}

// The desktop's own settings tool is started where one is installed; others get nothing.
TEST_F(NotifierTest, OpensTheDesktopsNotificationSettings)
{
    const QString bin = QDir::tempPath() + u"/settings-bin"_s;
    const QString marker = QDir::tempPath() + u"/settings-opened"_s;
    for (const char* tool : {"gnome-control-center", "kcmshell5"}) {
        const QString script = bin + u'/' + QString::fromLatin1(tool);
        writeFile(script, "#!/bin/sh\necho \"$0 $*\" > '" + marker.toUtf8() + "'\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8());
    const std::pair<const char*, QStringList> rows[] = {
        {"ubuntu:GNOME", {bin + u"/gnome-control-center"_s, u"notifications"_s}},
        {"KDE", {bin + u"/kcmshell5"_s, u"kcm_notifications"_s}},
        {"XFCE", {}},
        {"", {}},
    };
    for (const auto& [desktop, command] : rows)
        EXPECT_EQ(detail::notificationSettingsCommand(QString::fromLatin1(desktop)), command) << desktop;

    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    ThresholdAlerts::openNotificationSettings();
    qputenv("PATH", oldPath);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(marker).size() > 0; }));
    EXPECT_EQ(readFile(marker).trimmed(), (bin + u"/gnome-control-center notifications"_s).toUtf8());
}
