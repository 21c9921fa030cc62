// SPDX-License-Identifier: MIT
#include "alerts/AppRoutes.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

// The popover is tried first; only when it cannot open is "TallyvueOpenDetails" posted.
TEST(AppRoutesTest, PopoverFirstThenDetails)
{
    AppRoutes& routes = AppRoutes::instance();
    QStringList posted;
    const auto observer = QObject::connect(&routes, &AppRoutes::posted, [&](const QString& name) { posted << name; });
    int popoverCalls = 0;
    struct Row
    {
        std::optional<bool> popover; // none: no action registered
        bool expectDetails;
    } rows[] = {{std::nullopt, true}, {true, false}, {false, true}};
    for (const Row& row : rows) {
        posted.clear();
        popoverCalls = 0;
        if (row.popover)
            routes.setOpenPopover([&, opened = *row.popover] {
                ++popoverCalls;
                return opened;
            });
        else
            routes.setOpenPopover({});
        routes.bringForward();
        EXPECT_EQ(popoverCalls, row.popover ? 1 : 0);
        EXPECT_EQ(posted, row.expectDetails ? QStringList{u"TallyvueOpenDetails"_s} : QStringList{});
    }
    routes.setOpenPopover({});
    QObject::disconnect(observer);
}

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
