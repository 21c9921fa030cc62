// SPDX-License-Identifier: MIT
#pragma once

#include "model/TrayIconPreference.h"
#include "shell/TrayLabel.h"

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QTimer>

#include <chrono>
#include <memory>

class QSystemTrayIcon;

namespace tallyvue {

class StatusNotifierItem;
class TrayIconFiles;
class TrayMenu;

/// "42%  ·  7d 63%" -> "100%  ·  7d 100%": the widest text of the same shape, so that the
/// space the tray keeps for the label does not jump as the numbers change.
QString labelGuide(const QString& label);

/// Whether the tray host that runs `commandLine` (the StatusNotifierWatcher's process) shows
/// an item's XAyatanaLabel beside its icon.
bool hostShowsLabel(QStringView commandLine);

/// Whether the tray host that runs `commandLine` draws an item only from IconName and
/// IconThemePath (the Ayatana and Unity indicator services), so it needs the image as files.
bool hostNeedsIconFiles(QStringView commandLine);

/// Whether the icon should carry the percentage: always, never, or where no label is shown.
bool iconShowsPercent(TrayIconPercent choice, bool hostShowsLabel);

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
    /// The menu hosts show on right-click; set before start().
    void setMenu(TrayMenu* menu);
    /// The user's choice between digits in the icon and the plain image.
    void setPercentChoice(TrayIconPercent choice);

    Kind kind() const;
    bool isShown() const;
    /// Where the icon sits on screen, when the tray tells (XEmbed only).
    QRect iconGeometry() const;
    /// Whether the host shows the label text beside the icon (known hosts only).
    bool hostShowsLabel() const { return m_item && !m_systemTray && m_hostShowsLabel; }
    /// Whether the icon now carries the percentage as digits.
    bool iconShowsPercent() const;
    /// The icon as the tray gets it, `side` pixels square.
    QImage iconImage(int side) const;
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
    void identifyHost();

    QDBusConnection m_bus;
    StatusNotifierItem* m_item = nullptr;
    QSystemTrayIcon* m_systemTray = nullptr;
    TrayMenu* m_menu = nullptr;
    TrayLabel m_label;
    TrayIconPercent m_percentChoice = TrayIconPercent::Automatic;
    bool m_hostShowsLabel = false;
    QString m_hostCommandLine;
    std::unique_ptr<TrayIconFiles> m_iconFiles;
    QTimer m_poll;
    QTimer m_giveUp;
    bool m_announced = false;
};

} // namespace tallyvue
