// SPDX-License-Identifier: MIT
#include "shell/Popover.h"

#include "views/common/Widgets.h"
#include "views/popover/MenuBarView.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;

namespace tallyvue {

namespace {
constexpr int kMargin = 8;
constexpr int kGap = 6;
xcb_connection_t* x11Connection()
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t x11Atom(xcb_connection_t* connection, const char* name)
{
    const auto cookie = xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

/// Without one, see-through pixels show black. Wayland always composites.
bool hasCompositor()
{
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return true;
    const auto cookie = xcb_get_selection_owner(connection, x11Atom(connection, "_NET_WM_CM_S0"));
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
        xcb_get_selection_owner_reply(connection, cookie, nullptr), &std::free);
    return reply && reply->owner != XCB_WINDOW_NONE;
}

/// Whether a click on the bare desktop or an empty part of the panel leaves the focus where it
/// was, so that losing the focus does not tell a click outside (Cinnamon's muffin).
bool focusStaysOnOutsideClicks()
{
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(u"Cinnamon"_s, Qt::CaseInsensitive);
}

/// Takes the pointer as a menu does: clicks on our own windows arrive as usual, any other
/// reaches the panel as a press outside it. False when the window is not mapped yet.
bool grabPointer(QWidget* window)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return false;
    const auto cookie = xcb_grab_pointer(
        connection, 1, xcb_window_t(window->winId()), XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE,
        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME);
    const std::unique_ptr<xcb_grab_pointer_reply_t, decltype(&std::free)> reply(
        xcb_grab_pointer_reply(connection, cookie, nullptr), &std::free);
    return reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
}

void ungrabPointer()
{
    if (xcb_connection_t* connection = x11Connection()) {
        xcb_ungrab_pointer(connection, XCB_CURRENT_TIME);
        xcb_flush(connection);
    }
}

/// Keeps the panel out of task lists and pagers; Qt adds its own states when it maps the window.
void skipTaskbarAndPager(QWidget* window)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return;
    xcb_atom_t states[] = {x11Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                           x11Atom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()),
                        x11Atom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 2, states);
    xcb_flush(connection);
}

} // namespace

QRect popoverGeometry(const QRect& anchor, const QSize& size, const QRect& available)
{
    const QSize fitted = size.boundedTo(available.size());
    // The usual margin while there is room for it; on a small screen the panel may touch the edge.
    const int marginX = std::clamp((available.width() - fitted.width()) / 2, 0, kMargin);
    const int marginY = std::clamp((available.height() - fitted.height()) / 2, 0, kMargin);
    const bool trayAtBottom = anchor.center().y() > available.center().y();
    int x = anchor.center().x() - fitted.width() / 2;
    int y = trayAtBottom ? anchor.top() - kGap - fitted.height() : anchor.bottom() + 1 + kGap;
    x = std::clamp(x, available.left() + marginX, available.right() + 1 - marginX - fitted.width());
    y = std::clamp(y, available.top() + marginY, available.bottom() + 1 - marginY - fitted.height());
    return {QPoint(x, y), fitted};
}

QRect trayEdgeAnchor(const QRect& screen, const QRect& available)
{
    const bool panelAtTop = available.top() > screen.top();
    const bool panelAtBottom = available.bottom() < screen.bottom();
    const int right = available.right() - 1;
    if (panelAtBottom && !panelAtTop)
        return {QPoint(right, available.bottom()), QSize(1, 1)};
    return {QPoint(right, available.top()), QSize(1, 1)};
}

QPoint nativeToLogical(QPoint native, const QList<QPair<QRect, qreal>>& screens)
{
    if (native.isNull())
        return {};
    for (const auto& [geometry, ratio] : screens) {
        // Qt keeps each screen's top-left corner in native pixels and scales from there.
        const QRect nativeGeometry(geometry.topLeft(), geometry.size() * ratio);
        if (nativeGeometry.contains(native)) {
            const QPointF offset = QPointF(native - geometry.topLeft()) / ratio;
            return geometry.topLeft() + offset.toPoint();
        }
    }
    return native;
}

QPoint hostPointToLogical(QPoint native)
{
    QList<QPair<QRect, qreal>> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append({screen->geometry(), screen->devicePixelRatio()});
    return nativeToLogical(native, screens);
}

QPoint activationPoint(QPoint host, std::optional<QPoint> pointer)
{
    constexpr int kNear = 64;
    if (!pointer)
        return host;
    const QPoint offset = host - *pointer;
    const bool near = std::abs(offset.x()) <= kNear && std::abs(offset.y()) <= kNear;
    return !host.isNull() && near ? host : *pointer;
}

QPoint popoverPosition(const QRect& anchor, const QSize& size, const QRect& available)
{
    return popoverGeometry(anchor, size, available).topLeft();
}

Popover::Popover(MenuBarView* view, QWidget* parent) : QWidget(parent), m_view(view)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    setWindowTitle(u"Tallyvue"_s);
    setAccessibleGroup(this, QAccessible::Window, u"Tallyvue"_s);
    setPanel(true);
}

void Popover::setPanel(bool panel)
{
    const bool wasVisible = isVisible();
    m_panel = panel;
    if (panel) {
        m_rounded = hasCompositor();
        setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setAttribute(Qt::WA_TranslucentBackground, m_rounded);
    } else {
        setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
        setAttribute(Qt::WA_TranslucentBackground, false);
    }
    m_view->setFramed(panel);
    m_view->setRounded(panel && m_rounded);
    m_view->setFixedSize(MenuBarView::kSize);
    setFixedSize(MenuBarView::kSize);
    if (wasVisible)
        show();
}

void Popover::openAt(const QRect& anchor)
{
    // A compositing manager may have started or stopped since the panel was made.
    if (!m_panel || (!isVisible() && m_rounded != hasCompositor()))
        setPanel(true);
    const QRect target = anchor.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : anchor;
    QScreen* screen = QGuiApplication::screenAt(target.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect frame = popoverGeometry(target, MenuBarView::kSize, screen->availableGeometry());
        m_view->setFixedSize(frame.size());
        setFixedSize(frame.size());
        move(frame.topLeft());
    }
    if (!isVisible())
        skipTaskbarAndPager(this);
    show();
    raise();
    activateWindow();
    m_sinceShown.start();
    if (focusStaysOnOutsideClicks())
        grabWhenMapped(60); // a loaded machine may take seconds to map the window
}

void Popover::grabWhenMapped(int triesLeft)
{
    if (!isVisible() || !m_panel || m_grabbing)
        return;
    m_grabbing = grabPointer(this);
    if (!m_grabbing && triesLeft > 0)
        QTimer::singleShot(50, this, [this, triesLeft] { grabWhenMapped(triesLeft - 1); });
}

void Popover::mousePressEvent(QMouseEvent* event)
{
    if (m_grabbing && !rect().contains(event->position().toPoint())) {
        hide();
        m_sinceClosed.start();
        return;
    }
    QWidget::mousePressEvent(event);
}

void Popover::hideEvent(QHideEvent* event)
{
    if (m_grabbing) {
        m_grabbing = false;
        ungrabPointer();
    }
    QWidget::hideEvent(event);
}

void Popover::openAsWindow()
{
    if (m_panel)
        setPanel(false);
    // As a window it has a title bar too; on a small or scaled screen it must still fit.
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && !isVisible()) {
        const QRect room = screen->availableGeometry().marginsRemoved(QMargins(4, 32, 4, 4));
        const QSize size = MenuBarView::kSize.boundedTo(room.size());
        m_view->setFixedSize(size);
        setFixedSize(size);
    }
    show();
    raise();
    activateWindow();
}

void Popover::toggleAt(const QRect& anchor)
{
    if (isVisible() && m_panel) {
        hide();
        return;
    }
    if (m_sinceClosed.isValid() && m_sinceClosed.elapsed() < 300)
        return; // this very click took the focus and closed us
    openAt(anchor);
}

bool Popover::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate && m_panel && isVisible()) {
        // Some window managers bounce focus once while mapping a new window.
        if (!m_sinceShown.isValid() || m_sinceShown.elapsed() > 250) {
            hide();
            m_sinceClosed.start();
        }
    }
    return QWidget::event(event);
}

void Popover::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        // Settings close first, then the panel.
        if (m_view->isShowingSettings())
            m_view->setShowingSettings(false);
        else
            hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tallyvue
