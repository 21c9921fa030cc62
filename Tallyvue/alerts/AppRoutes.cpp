// SPDX-License-Identifier: MIT
#include "alerts/AppRoutes.h"

#include "model/Preferences.h"

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

void AppRoutes::bringForward(std::optional<AIProvider> provider)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(
            app, [this, provider] { bringForward(provider); }, Qt::QueuedConnection);
        return;
    }
    if (provider) {
        Preferences::instance().setSelectedPage(WorkspacePage{provider});
        Preferences::instance().setSelectedTab(AppTab::Models);
    }
    if (!openPopover())
        post(kOpenDetailsNotification.toString());
}

void AppRoutes::post(const QString& name)
{
    Q_EMIT posted(name);
}

} // namespace tallyvue
