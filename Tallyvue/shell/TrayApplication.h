// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QRect>

#include <chrono>
#include <functional>
#include <memory>

namespace tallyvue {

class MenuBarView;
class Popover;
class TrayItem;
class TrayMenu;
class UsageViewModel;

/**
 * The tray application around the one coordinator: the tray item and its label, the popover
 * and the routes that open it. The label follows the coordinator and its six preferences at
 * all times; the popover draws only while it is open.
 */
class TrayApplication : public QObject
{
    Q_OBJECT

public:
    explicit TrayApplication(UsageViewModel& viewModel, const QDBusConnection& bus = QDBusConnection::sessionBus(),
                             QObject* parent = nullptr);
    ~TrayApplication() override;

    /// Puts the item in the tray; without a tray after `giveUpAfter`, opens the popover as a window.
    void start(std::chrono::milliseconds giveUpAfter = std::chrono::seconds(30));
    /// Opens the popover at the tray item (or as a window without a tray). Always succeeds.
    /// Registered as the application's "open the popover" route (hot key, notification click,
    /// a second copy being started).
    bool openPopover();
    /// What "TallyvueOpenDetails" and the menu's "Open Details…" open; until there is a
    /// details window, the popover (and the menu has no such entry).
    void setOpenDetails(std::function<void()> open);
    /// What the menu's "Settings…" opens; without it the menu has no such entry.
    void setOpenSettings(std::function<void()> open);

    TrayItem& trayItem() const { return *m_tray; }
    TrayMenu& trayMenu() const { return *m_menu; }
    Popover& popover() const { return *m_popover; }
    MenuBarView& view() const { return *m_view; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void relabel();
    void pushState();
    void activate(QPoint where);
    void leaveSettings();
    void openDetails();
    void rebuildMenu();
    /// Where the popover opens: at the icon, else where the item was last clicked, else at
    /// the tray's edge of the primary screen.
    QRect popoverAnchor() const;

    UsageViewModel& m_viewModel;
    MenuBarView* m_view;
    std::unique_ptr<Popover> m_popover;
    TrayMenu* m_menu;
    TrayItem* m_tray;
    std::function<void()> m_openDetails;
    std::function<void()> m_openSettings;
    QRect m_lastActivation;
};

} // namespace tallyvue
