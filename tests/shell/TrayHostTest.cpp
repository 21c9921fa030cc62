// SPDX-License-Identifier: MIT
// The tray item without a StatusNotifierWatcher: XEmbed under Xvfb with a tray host, and the
// ordinary window when no tray appears at all.
#include "model/Log.h"
#include "platform/TestServers.h"
#include "refresh/UsageViewModel.h"
#include "shell/Popover.h"
#include "shell/TrayApplication.h"
#include "shell/TrayItem.h"
#include "support/OutputCapture.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

bool underTrayHost()
{
    return qEnvironmentVariableIsSet("TALLYVUE_TRAY_HOST");
}

} // namespace

// No watcher, no XEmbed tray: after the time given the popover opens as a window, with a line.
TEST(TrayHost, NoTrayOpensAWindow)
{
    if (underTrayHost())
        GTEST_SKIP() << "a tray host is running";
    UsageViewModel viewModel({.startLoops = false, .clock = {}});
    TrayApplication shell(viewModel, QDBusConnection(u"tallyvue-no-bus"_s));
    QSignalSpy gaveUp(&shell.trayItem(), &TrayItem::noTrayAppeared);
    test::OutputCapture output;
    setLogSink(LogSink::StandardOutput);
    shell.start(200ms);
    ASSERT_TRUE(test::waitUntil([&] { return gaveUp.size() == 1; }, 5000));
    EXPECT_EQ(shell.trayItem().kind(), TrayItem::Kind::None);
    EXPECT_TRUE(shell.popover().isVisible());
    EXPECT_FALSE(shell.popover().isPanel());
    EXPECT_TRUE(output.text().contains("[Tallyvue] No system tray appeared within 30 seconds"));
    // The window stays open when it loses focus: it is no panel.
    QApplication::sendEvent(&shell.popover(), new QEvent(QEvent::WindowDeactivate));
    EXPECT_TRUE(shell.popover().isVisible());
}

// With an XEmbed tray (trayer under Xvfb) the icon appears; a click opens the panel at it and
// Escape closes it.
TEST(TrayHost, XEmbedTrayAndClick)
{
    if (!underTrayHost())
        GTEST_SKIP() << "needs Xvfb with a tray host (ctest runs it as ShellTrayHostTest)";
    UsageViewModel viewModel({.startLoops = false, .clock = {}});
    TrayApplication shell(viewModel, QDBusConnection(u"tallyvue-no-bus"_s));
    QSignalSpy shown(&shell.trayItem(), &TrayItem::shown);
    shell.start();
    ASSERT_TRUE(test::waitUntil([&] { return shown.size() == 1; }));
    ASSERT_EQ(shell.trayItem().kind(), TrayItem::Kind::SystemTray);
    QRect icon;
    ASSERT_TRUE(test::waitUntil([&] {
        icon = shell.trayItem().iconGeometry();
        return icon.isValid() && !icon.isEmpty();
    }));

    // Let the tray embed and place the icon before reading where it is.
    test::settle(500);
    icon = shell.trayItem().iconGeometry();
    QSignalSpy activated(&shell.trayItem(), &TrayItem::activated);
    QProcess::execute(u"xdotool"_s, {u"mousemove"_s, QString::number(icon.center().x()),
                                     QString::number(icon.center().y()), u"click"_s, u"1"_s});
    ASSERT_TRUE(test::waitUntil([&] { return activated.size() == 1; }));
    ASSERT_TRUE(test::waitUntil([&] { return shell.popover().isVisible(); }));
    EXPECT_TRUE(shell.popover().isPanel());
    // Placed next to the icon and inside the screen.
    EXPECT_LT(std::abs(shell.popover().geometry().top() - icon.bottom()), 80);

    QTest::keyClick(&shell.popover(), Qt::Key_Escape);
    EXPECT_FALSE(shell.popover().isVisible());
}
