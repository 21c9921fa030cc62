// SPDX-License-Identifier: MIT
// tallyvue: the tray application. main() only wires things up, in the start order the rest of
// the program relies on.
#include "model/Log.h"
#include "refresh/UsageViewModel.h"
#include "shell/TrayApplication.h"
#include "views/Style.h"

#include <QApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(u"Tallyvue"_s);
    QApplication::setApplicationName(u"Tallyvue"_s);
    QApplication::setApplicationDisplayName(u"Tallyvue"_s);
    QGuiApplication::setDesktopFileName(u"tallyvue"_s);
    QApplication::setWindowIcon(tallyvue::style::appIcon());
    // Everything lives in the tray: closing the fallback window must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // One coordinator for the life of the process; its first refresh waits for the event loop.
    tallyvue::UsageViewModel viewModel;

    // Each log line reaches the console (or the journal) as it is written.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    tallyvue::setLogSink(tallyvue::LogSink::StandardOutput);

    tallyvue::TrayApplication shell(viewModel);
    shell.start();
    return app.exec();
}
