// SPDX-License-Identifier: MIT
#include "alerts/AppRoutes.h"

#include <QCoreApplication>
#include <QThread>

namespace tallyvue {

AppRoutes& AppRoutes::instance()
{
    static AppRoutes routes;
    return routes;
}

void AppRoutes::setOpenPopover(std::function<bool()> open)
{
    m_openPopover = std::move(open);
}

bool AppRoutes::openPopover()
{
    return m_openPopover && m_openPopover();
}

void AppRoutes::bringForward()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(
            app, [this] { bringForward(); }, Qt::QueuedConnection);
        return;
    }
    if (!openPopover())
        post(kOpenDetailsNotification.toString());
}

void AppRoutes::post(const QString& name)
{
    Q_EMIT posted(name);
}

} // namespace tallyvue
