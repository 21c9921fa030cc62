// SPDX-License-Identifier: MIT
#include "platform/linux/DesktopHotKeyBackend.h"

#include "platform/linux/PortalHotKeyBackend.h"
#include "platform/linux/X11HotKeyBackend.h"

#include <QGuiApplication>

using namespace Qt::StringLiterals;

namespace tallyvue {

std::unique_ptr<HotKeyBackend> createDesktopHotKeyBackend()
{
    // Qt's platform plugin says where our windows live; without a GUI, the session's variables do.
    QString platform = qGuiApp ? QGuiApplication::platformName() : QString();
    if (platform.isEmpty() || platform == u"offscreen")
        platform = qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ? u"wayland"_s : u"xcb"_s;
    // On Wayland an X11 grab only sees keys typed into X11 windows, so it is no use there, also
    // when we run through XWayland: it would succeed and never fire.
    if (platform.startsWith(u"wayland") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return std::make_unique<PortalHotKeyBackend>();
    if (platform == u"xcb" && qEnvironmentVariableIsSet("DISPLAY"))
        return X11HotKeyBackend::connect();
    return nullptr;
}

} // namespace tallyvue
