// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPoint>

#include <chrono>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace tallyvue {

class MenuBarView;
class Popover;
class TrayItem;
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
    /// What "TallyvueOpenDetails" opens; until there is a details window, the popover.
    void setOpenDetails(std::function<void()> open);
    /// What the menu's "Settings…" does; the entry shows once this is set.
    void setOpenSettings(std::function<void()> open);

    TrayItem& trayItem() const { return *m_tray; }
    Popover& popover() const { return *m_popover; }
    MenuBarView& view() const { return *m_view; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void relabel();
    void pushState();
    void activate(QPoint where);
    void openDetails();

    UsageViewModel& m_viewModel;
    MenuBarView* m_view;
    std::unique_ptr<Popover> m_popover;
    std::unique_ptr<QMenu> m_menu;
    TrayItem* m_tray;
    std::function<void()> m_openDetails;
    std::function<void()> m_openSettings;
    QAction* m_settingsAction = nullptr;
};

} // namespace tallyvue
