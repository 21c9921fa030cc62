// SPDX-License-Identifier: MIT
#include "shell/TrayApplication.h"

#include "alerts/AppRoutes.h"
#include "model/Log.h"
#include "refresh/UsageViewModel.h"
#include "shell/Popover.h"
#include "shell/TrayItem.h"
#include "shell/TrayLabel.h"
#include "shell/TrayMenu.h"
#include "views/popover/MenuBarView.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace tallyvue {

TrayApplication::TrayApplication(UsageViewModel& viewModel, const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_viewModel(viewModel), m_view(new MenuBarView), m_popover(std::make_unique<Popover>(m_view)),
      m_menu(new TrayMenu(this)), m_tray(new TrayItem(bus, this))
{
    connect(m_view, &MenuBarView::refreshRequested, this, [this](bool force) { m_viewModel.refresh(force); });
    connect(m_view, &MenuBarView::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(m_view, &MenuBarView::detailsRequested, this, &TrayApplication::openDetails);

    rebuildMenu();
    m_tray->setMenu(m_menu);
    m_tray->setPercentChoice(trayIconShowsPercent());

    connect(m_tray, &TrayItem::activated, this, &TrayApplication::activate);
    connect(m_tray, &TrayItem::contextMenuRequested, this, [this](QPoint where) {
        const QPoint at = hostPointToLogical(where);
        m_menu->menu()->popup(at.isNull() ? QCursor::pos() : at);
    });
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
        else if (key == kTrayIconShowsPercentKey)
            m_tray->setPercentChoice(trayIconShowsPercent());
    });
    AppRoutes::instance().setOpenPopover([this] {
        // Whoever brings us forward wants figures, even over settings that are open right now.
        m_view->setShowingSettings(false, false);
        return openPopover();
    });
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
    rebuildMenu();
}

void TrayApplication::setOpenSettings(std::function<void()> open)
{
    m_openSettings = std::move(open);
    rebuildMenu();
}

void TrayApplication::rebuildMenu()
{
    QList<TrayMenuEntry> entries = {
        {u"Open Tallyvue"_s,
         [this] {
             leaveSettings();
             openPopover();
         }},
        {u"Refresh Now"_s, [this] { m_viewModel.refresh(true); }},
    };
    if (m_openDetails)
        entries.append(TrayMenuEntry{u"Open Details…"_s, [this] { openDetails(); }});
    if (m_openSettings)
        entries.append(TrayMenuEntry{u"Settings…"_s, [this] { m_openSettings(); }});
    entries.append(TrayMenuEntry{}); // a separator
    entries.append(TrayMenuEntry{u"Quit"_s, [] { QCoreApplication::quit(); }});
    m_menu->setEntries(std::move(entries));
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
    m_popover->openAt(popoverAnchor());
    return true;
}

QRect TrayApplication::popoverAnchor() const
{
    const QRect icon = m_tray->iconGeometry();
    if (icon.isValid() && !icon.isEmpty())
        return icon;
    if (!m_lastActivation.isNull())
        return m_lastActivation;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? trayEdgeAnchor(screen->geometry(), screen->availableGeometry()) : QRect();
}

void TrayApplication::activate(QPoint where)
{
    QRect anchor = m_tray->iconGeometry();
    if (anchor.isEmpty()) {
        // Hosts that know no position send 0, 0; the popover then opens at the pointer where
        // the platform tells it (X11; XWayland only sees the pointer over X11 windows), else
        // where it last did.
        std::optional<QPoint> pointer;
        if (QGuiApplication::platformName() == u"xcb" && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            pointer = QCursor::pos();
        const QPoint point = activationPoint(hostPointToLogical(where), pointer);
        if (!point.isNull())
            m_lastActivation = QRect(point, QSize(1, 1));
        anchor = popoverAnchor();
    }
    leaveSettings();
    m_popover->toggleAt(anchor);
}

void TrayApplication::leaveSettings()
{
    // Settings are a detour: a new opening shows the page the user was reading.
    if (!m_popover->isVisible())
        m_view->setShowingSettings(false, false);
}

void TrayApplication::relabel()
{
    const TrayLabelSettings settings = TrayLabelSettings::fromPreferences();
    TrayLabelNotes notes;
    for (const AIProvider provider : kAllProviders) {
        if (const auto& source = m_viewModel.source(provider))
            notes.sources.append({provider, figureSourceText(*source, m_viewModel.now())});
        if (!m_viewModel.error(provider))
            continue;
        if (const auto last = m_viewModel.lastGood(provider))
            notes.stale.append({provider, last->asOf});
        notes.problems.append({provider, trayProblemText(m_viewModel.notice(provider))});
    }
    const auto chosen = chosenBadgeProvider(settings.selectedBadge);
    m_tray->setLabel(makeTrayLabel(m_viewModel.labelMetrics(chosen), settings, m_viewModel.now(), notes));
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
