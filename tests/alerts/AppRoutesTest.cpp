// SPDX-License-Identifier: MIT
#include "alerts/AppRoutes.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

using namespace tallyvue;

// Asked from another thread, the route still runs on the main thread.
TEST(AppRoutesTest, RunsOnTheMainThread)
{
    QThread* ranOn = nullptr;
    AppRoutes::instance().setOpenPopover([&] {
        ranOn = QThread::currentThread();
        return true;
    });
    std::unique_ptr<QThread> worker(QThread::create([] { AppRoutes::instance().bringForward(); }));
    worker->start();
    worker->wait();
    for (int i = 0; i < 100 && !ranOn; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
    AppRoutes::instance().setOpenPopover({});
}
