// SPDX-License-Identifier: MIT
#include "shell/Popover.h"

#include "views/MenuBarView.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyvue {

namespace {
constexpr int kMargin = 8;
constexpr int kGap = 6;
} // namespace

QPoint popoverPosition(const QRect& anchor, const QSize& size, const QRect& available)
{
    const bool trayAtBottom = anchor.center().y() > available.center().y();
    int x = anchor.center().x() - size.width() / 2;
    int y = trayAtBottom ? anchor.top() - kGap - size.height() : anchor.bottom() + 1 + kGap;
    x = std::clamp(x, available.left() + kMargin,
                   std::max(available.left() + kMargin, available.right() + 1 - kMargin - size.width()));
    y = std::clamp(y, available.top() + kMargin,
                   std::max(available.top() + kMargin, available.bottom() + 1 - kMargin - size.height()));
    return {x, y};
}

Popover::Popover(MenuBarView* view, QWidget* parent) : QWidget(parent), m_view(view)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    setWindowTitle(u"Tallyvue"_s);
    setPanel(true);
}

void Popover::setPanel(bool panel)
{
    const bool wasVisible = isVisible();
    m_panel = panel;
    if (panel) {
        setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setAttribute(Qt::WA_TranslucentBackground);
    } else {
        setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
        setAttribute(Qt::WA_TranslucentBackground, false);
    }
    m_view->setFramed(panel);
    setFixedSize(MenuBarView::kSize);
    if (wasVisible)
        show();
}

void Popover::openAt(const QRect& anchor)
{
    if (!m_panel)
        setPanel(true);
    const QRect target = anchor.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : anchor;
    QScreen* screen = QGuiApplication::screenAt(target.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        move(popoverPosition(target, MenuBarView::kSize, screen->availableGeometry()));
    show();
    raise();
    activateWindow();
    m_sinceShown.start();
}

void Popover::openAsWindow()
{
    if (m_panel)
        setPanel(false);
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
