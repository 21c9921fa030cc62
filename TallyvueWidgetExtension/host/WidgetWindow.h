// SPDX-License-Identifier: MIT
#pragma once

#include "logic/UsageTimeline.h"
#include "logic/WidgetConfiguration.h"

#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <optional>

namespace tallyvue::widget {

class SnapshotWatcher;
class TimelinePlayer;
class UsageWidgetView;

/**
 * The widget on the desktop: a frameless window below the others on every workspace that plays
 * the timeline, reloads when the snapshot file changes, can be dragged, and remembers its family
 * and, per family, its position.
 */
class WidgetWindow : public QWidget
{
    Q_OBJECT

public:
    /// `family` overrides the remembered one for this run without replacing it.
    WidgetWindow(UsageTimelineProvider::Source source, std::optional<WidgetFamily> family, QWidget* parent = nullptr);
    ~WidgetWindow() override;

    WidgetFamily family() const;
    /// Switches family, remembers it and moves to that family's remembered place.
    void setFamily(WidgetFamily family);
    const UsageWidgetView* view() const { return m_view; }

    /// Starts the application, or brings it forward when it runs (its single-instance handshake does that).
    static bool openApplication();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    /// The Menu key and Shift+F10 open the same menu as a right click.
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void showMenu(const QPoint& globalPos);
    void applyFamily();
    QPoint rememberedPosition() const;
    void savePosition();

    UsageWidgetView* m_view;
    TimelinePlayer* m_player;
    SnapshotWatcher* m_watcher = nullptr;
    QTimer m_saveTimer;
    std::optional<QPoint> m_dragOffset; ///< set while dragging by hand where the system cannot move windows
};

} // namespace tallyvue::widget
