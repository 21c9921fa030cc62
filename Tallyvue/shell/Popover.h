// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <optional>

namespace tallyvue {

class MenuBarView;

/// Where a panel of `size` opens for a tray item at `anchor`: centred under it (or over it
/// when the tray is at the bottom), kept 8 pixels inside `available`.
QPoint popoverPosition(const QRect& anchor, const QSize& size, const QRect& available);

/// The panel's whole frame: as popoverPosition(), but never larger than `available` (the
/// margin shrinks first, then the panel), so it is always fully on screen.
QRect popoverGeometry(const QRect& anchor, const QSize& size, const QRect& available);

/// Where the tray most likely is when no click told us: the right end of the screen's edge
/// that a panel takes away from `available` (top when none or both do).
QRect trayEdgeAnchor(const QRect& screen, const QRect& available);

/// A point a tray host sends (in the display's own pixels) in Qt's device-independent pixels,
/// for screens given as (geometry, device pixel ratio); a null point stays null.
QPoint nativeToLogical(QPoint native, const QList<QPair<QRect, qreal>>& screens);
/// The same for the screens Qt knows.
QPoint hostPointToLogical(QPoint native);

/// Where a click on the tray item happened, from the host's point (logical pixels, null when
/// it sent none) and the pointer's position where the platform can read it. Some hosts send a
/// point inside their own applet (MATE's notification area) or relative to their bar: a
/// point farther than 64 pixels from the pointer is not on the screen, so the pointer wins.
QPoint activationPoint(QPoint host, std::optional<QPoint> pointer);

/**
 * The window around the popover's content. Normally a frameless panel next to the tray item
 * that closes when it loses focus or on Escape; without a tray it is an ordinary small window.
 */
class Popover : public QWidget
{
    Q_OBJECT

public:
    explicit Popover(MenuBarView* view, QWidget* parent = nullptr);

    /// Opens as a panel at the tray item (`anchor` empty: at the mouse pointer).
    void openAt(const QRect& anchor);
    /// Opens as an ordinary window, for a desktop that shows no tray.
    void openAsWindow();
    /// Opens, or closes when it is open; a click on the tray item that just took the focus
    /// away (and so closed the panel) does not open it again.
    void toggleAt(const QRect& anchor);
    bool isPanel() const { return m_panel; }
    /// Rounded, see-through corners: only under a compositing manager, else they show black.
    bool hasRoundedCorners() const { return m_rounded; }
    MenuBarView* view() const { return m_view; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setPanel(bool panel);
    /// Where focus tells nothing, holds the pointer while open so a click outside closes it.
    void grabWhenMapped(int triesLeft);
    MenuBarView* m_view;
    bool m_panel = true;
    bool m_rounded = true;
    bool m_grabbing = false;
    QElapsedTimer m_sinceShown;
    QElapsedTimer m_sinceClosed;
};

} // namespace tallyvue
