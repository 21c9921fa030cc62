// SPDX-License-Identifier: MIT
#pragma once

#include "shell/TrayLabel.h"

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QTimer>

#include <chrono>

class QMenu;
class QSystemTrayIcon;

namespace tallyvue {

class StatusNotifierItem;

/// "42%  ·  7d 63%" -> "100%  ·  7d 100%": the widest text of the same shape, so that the
/// space the tray keeps for the label does not jump as the numbers change.
QString labelGuide(const QString& label);

/**
 * Tallyvue's place in the tray: a StatusNotifierItem of our own where a watcher exists (now or
 * later), else Qt's XEmbed tray icon once a tray appears. It says when it is shown, and when
 * no tray of either kind has appeared in time.
 */
class TrayItem : public QObject
{
    Q_OBJECT

public:
    enum class Kind { None, StatusNotifier, SystemTray };

    explicit TrayItem(const QDBusConnection& bus, QObject* parent = nullptr);
    ~TrayItem() override;

    void start(std::chrono::milliseconds giveUpAfter = std::chrono::seconds(30));
    void setLabel(const TrayLabel& label);
    void setContextMenu(QMenu* menu);

    Kind kind() const;
    bool isShown() const;
    /// Where the icon sits on screen, when the tray tells (XEmbed only).
    QRect iconGeometry() const;
    StatusNotifierItem* statusNotifierItem() const { return m_item; }

Q_SIGNALS:
    /// The user clicked the item; `where` is the host's point, or null when unknown.
    void activated(QPoint where);
    void contextMenuRequested(QPoint where);
    /// The item is in a tray now.
    void shown();
    /// No tray took the item within the time given to start().
    void noTrayAppeared();

private:
    void poll();
    void useSystemTray();
    void applyLabel();

    QDBusConnection m_bus;
    StatusNotifierItem* m_item = nullptr;
    QSystemTrayIcon* m_systemTray = nullptr;
    QMenu* m_menu = nullptr;
    TrayLabel m_label;
    QTimer m_poll;
    QTimer m_giveUp;
    bool m_announced = false;
};

} // namespace tallyvue
