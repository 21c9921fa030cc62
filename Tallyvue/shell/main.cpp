// SPDX-License-Identifier: MIT
// tallyvue: the tray application. main() only wires things up, in the start order the rest of
// the program relies on.
#include "alerts/AppRoutes.h"
#include "alerts/ThresholdAlerts.h"
#include "model/Log.h"
#include "model/Preferences.h"
#include "model/SafeFile.h"
#include "platform/linux/DesktopHotKeyBackend.h"
#include "platform/linux/FreedesktopNotifier.h"
#include "platform/linux/HotKeyManager.h"
#include "platform/linux/SingleInstance.h"
#include "platform/linux/TerminationSignals.h"
#include "platform/linux/UpdaterController.h"
#include "refresh/UsageViewModel.h"
#include "shell/CommandLine.h"
#include "shell/PlatformChoice.h"
#include "shell/TrayApplication.h"
#include "views/common/Style.h"
#include "views/common/UsageState.h"
#include "views/details/DetailWindowView.h"
#include "views/local/ComputerName.h"
#include "views/popover/MenuBarView.h"

#include <QApplication>
#include <QDBusConnection>

#include <cstdio>
#include <memory>

using namespace tallyvue;
using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    safefile::hardenProcess(); // before any token is read
    if (const auto status = handleCommandLine(argc, argv))
        return *status;
    // Qt aborts when no platform plugin works: say what is missing instead.
    const PlatformChoice platform = choosePlatform(SessionDisplays::fromEnvironment(argc, argv));
    if (!platform.error.isEmpty()) {
        std::fprintf(stderr, "tallyvue: cannot open any window: %s\n", qPrintable(platform.error));
        return 1;
    }
    if (!platform.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform.platform.toUtf8());
    QApplication app(argc, argv);
    // Only for us: programs we start pick their own.
    if (!platform.platform.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    QApplication::setOrganizationName(u"Tallyvue"_s);
    QApplication::setApplicationName(u"Tallyvue"_s);
    // No display name: on X11 Qt would append it to every window title ("Tallyvue Details — Tallyvue").
    QGuiApplication::setDesktopFileName(u"tallyvue"_s);
    QApplication::setWindowIcon(style::appIcon());
    // Everything lives in the tray: closing the fallback window must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    quitOnTerminationSignals();

    // One coordinator for the life of the process. Its first refresh waits for the event loop,
    // so a second copy that quits below never fetches anything.
    UsageViewModel viewModel;

    // Each log line reaches the console (or the journal) as it is written.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    setLogSink(LogSink::StandardOutput);

    // One copy per user. Checked before the global shortcut is grabbed: on X11 a second grab of
    // the same keys is refused, which would log a failure for a copy that is about to quit.
    SingleInstance instance;
    if (!instance.claim())
        return 0;

    // The shortcut opens the popover; failing that, it asks for the details window.
    HotKeyManager& hotKeys = HotKeyManager::shared();
    hotKeys.setBackend(createDesktopHotKeyBackend());
    hotKeys.setAction([] {
        if (!HotKeyManager::shared().clickStatusItem())
            AppRoutes::instance().post(kOpenDetailsNotification.toString());
    });
    hotKeys.registerPreset(Preferences::instance().hotKeyPreset());
    hotKeys.followPreferences();
    UpdaterController::shared();

    // Threshold alerts go to the desktop's notification service; a click brings us forward.
    if (QDBusConnection::sessionBus().isConnected())
        ThresholdAlerts::installNotifier(std::make_shared<FreedesktopNotifier>(QDBusConnection::sessionBus()));

    // The pretty name arrives later from the system's hostname service; until then the host name.
    ComputerName::instance().lookUp(QDBusConnection::systemBus());

    TrayApplication shell(viewModel);
    shell.setOpenSettings([&shell] {
        shell.view().setShowingSettings(true, false);
        shell.openPopover();
    });
    // The details window is made when first asked for and then only hidden and shown again.
    std::unique_ptr<DetailWindowView> details;
    shell.setOpenDetails([&] {
        if (!details) {
            details = std::make_unique<DetailWindowView>();
            QObject::connect(details.get(), &DetailWindowView::refreshRequested, &viewModel,
                             [&](bool force) { viewModel.refresh(force); });
            QObject::connect(details.get(), &DetailWindowView::clearHistoryRequested, &viewModel,
                             &UsageViewModel::clearHistory);
            QObject::connect(&viewModel, &UsageViewModel::changed, details.get(),
                             [&] { details->setState(UsageState::from(viewModel)); });
            details->setState(UsageState::from(viewModel));
        }
        details->present();
    });
    shell.start();
    const int code = app.exec();
    ThresholdAlerts::installNotifier(nullptr);
    return code;
}
