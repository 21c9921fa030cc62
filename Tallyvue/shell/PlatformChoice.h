// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

namespace tallyvue {

/// What the session offers, as the environment and the installed Qt plugins tell.
struct SessionDisplays
{
    QString userPlatform; // QT_QPA_PLATFORM or -platform, when the user chose
    QString sessionType;  // XDG_SESSION_TYPE
    QString desktop;      // XDG_CURRENT_DESKTOP
    bool wayland = false; // WAYLAND_DISPLAY is set
    bool x11 = false;     // DISPLAY is set (an X server, or XWayland)
    bool waylandPlugin = true;
    bool xcbPlugin = true;

    static SessionDisplays fromEnvironment(int argc, char** argv);
};

struct PlatformChoice
{
    QString platform; // for QT_QPA_PLATFORM ("xcb;wayland"); empty: leave Qt to choose
    QString error;    // why no window can open, for the user; empty when one can
};

/**
 * Which Qt platform plugins to try, in order. On GNOME's Wayland session the X11 platform
 * (through XWayland) comes first: a Wayland client cannot place its own windows, so the popover
 * would open far from the tray item. Only platforms whose plugin is installed and whose display
 * is there are named, so that a missing plugin is a clear message rather than Qt's abort.
 */
PlatformChoice choosePlatform(const SessionDisplays& session);

} // namespace tallyvue
