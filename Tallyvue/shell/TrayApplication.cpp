// SPDX-License-Identifier: MIT
#include "shell/TrayApplication.h"

#include "alerts/AppRoutes.h"
#include "model/Log.h"
#include "refresh/UsageViewModel.h"
#include "shell/Popover.h"
#include "shell/TrayItem.h"
#include "shell/TrayLabel.h"
#include "views/MenuBarView.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace tallyvue {

TrayApplication::TrayApplication(UsageViewModel& viewModel, const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_viewModel(viewModel), m_view(new MenuBarView), m_popover(std::make_unique<Popover>(m_view)),
      m_menu(std::make_unique<QMenu>()), m_tray(new TrayItem(bus, this))
{
    connect(m_view, &MenuBarView::refreshRequested, this, [this](bool force) { m_viewModel.refresh(force); });
    connect(m_view, &MenuBarView::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(m_view, &MenuBarView::detailsRequested, this, &TrayApplication::openDetails);

    m_menu->addAction(u"Open Tallyvue"_s, this, [this] { openPopover(); });
    m_menu->addAction(u"Refresh Now"_s, this, [this] { m_viewModel.refresh(true); });
    m_menu->addSeparator();
    m_menu->addAction(u"Quit"_s, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    m_tray->setContextMenu(m_menu.get());

    connect(m_tray, &TrayItem::activated, this, &TrayApplication::activate);
    connect(m_tray, &TrayItem::contextMenuRequested, this,
            [this](QPoint where) { m_menu->popup(where.isNull() ? QCursor::pos() : where); });
    connect(m_tray, &TrayItem::noTrayAppeared, this, [this] {
        log(u"No system tray appeared within 30 seconds; opening Tallyvue as a window"_s);
        m_popover->openAsWindow();
    });
    connect(&m_viewModel, &UsageViewModel::changed, this, [this] {
        relabel();
        pushState();
    });
    connect(&Preferences::instance(), &Preferences::changed, this, [this](const QString& key) {
        if (TrayLabelSettings::concerns(key))
            relabel();
    });
    AppRoutes::instance().setOpenPopover([this] { return openPopover(); });
    connect(&AppRoutes::instance(), &AppRoutes::posted, this, [this](const QString& name) {
        if (name == kOpenDetailsNotification)
            openDetails();
    });
    qApp->installEventFilter(this);
    relabel();
    pushState();
}

TrayApplication::~TrayApplication()
{
    AppRoutes::instance().setOpenPopover({});
    qApp->removeEventFilter(this);
}

void TrayApplication::setOpenDetails(std::function<void()> open)
{
    m_openDetails = std::move(open);
}

void TrayApplication::openDetails()
{
    if (m_openDetails)
        m_openDetails();
    else
        openPopover();
}

void TrayApplication::start(std::chrono::milliseconds giveUpAfter)
{
    m_tray->start(giveUpAfter);
}

bool TrayApplication::openPopover()
{
    if (!m_tray->isShown()) {
        m_popover->openAsWindow();
        return true;
    }
    m_popover->openAt(m_tray->iconGeometry());
    return true;
}

void TrayApplication::activate(QPoint where)
{
    QRect anchor = m_tray->iconGeometry();
    if (anchor.isEmpty() && !where.isNull() && where != QPoint(0, 0))
        anchor = QRect(where, QSize(1, 1));
    m_popover->toggleAt(anchor);
}

void TrayApplication::relabel()
{
    m_tray->setLabel(makeTrayLabel(m_viewModel.allMetrics(), TrayLabelSettings::fromPreferences(), m_viewModel.now()));
}

void TrayApplication::pushState()
{
    m_view->setState(UsageState::from(m_viewModel));
}

bool TrayApplication::eventFilter(QObject* watched, QEvent* event)
{
    // A theme change recolours the tray image (its track and monochrome colour follow the panel).
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        relabel();
    return QObject::eventFilter(watched, event);
}

} // namespace tallyvue
