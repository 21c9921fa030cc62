// SPDX-License-Identifier: MIT
// A stand-in for the tray application in the single-instance tests: claims the instance and
// reports on standard output what the running copy is asked to do.
#include "alerts/AppRoutes.h"
#include "platform/linux/SingleInstance.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    tallyvue::AppRoutes::instance().setOpenPopover([] {
        std::puts("popover opened");
        std::fflush(stdout);
        return true;
    });
    tallyvue::SingleInstance instance;
    if (!instance.claim())
        return 0;
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
