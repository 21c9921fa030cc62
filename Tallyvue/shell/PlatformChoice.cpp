// SPDX-License-Identifier: MIT
#include "shell/PlatformChoice.h"

#include <QDir>
#include <QLibraryInfo>
#include <QStringList>

#include <cstring>

using namespace Qt::StringLiterals;

namespace tallyvue {

namespace {
/// Whether a platform plugin whose file name starts with `prefix` is where Qt looks.
bool pluginInstalled(const QString& prefix)
{
    QStringList folders = qEnvironmentVariable("QT_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts);
    folders.append(QLibraryInfo::path(QLibraryInfo::PluginsPath));
    for (const QString& folder : folders) {
        if (!QDir(folder + u"/platforms"_s).entryList({prefix + u'*'}, QDir::Files).isEmpty())
            return true;
    }
    return false;
}
} // namespace

SessionDisplays SessionDisplays::fromEnvironment(int argc, char** argv)
{
    SessionDisplays session;
    session.userPlatform = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            session.userPlatform = QString::fromLocal8Bit(argv[i + 1]);
    }
    session.sessionType = qEnvironmentVariable("XDG_SESSION_TYPE");
    session.desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    session.wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    session.x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    session.waylandPlugin = pluginInstalled(u"libqwayland"_s);
    session.xcbPlugin = pluginInstalled(u"libqxcb"_s);
    return session;
}

PlatformChoice choosePlatform(const SessionDisplays& session)
{
    if (!session.userPlatform.isEmpty())
        return {};
    const bool waylandSession = session.wayland || session.sessionType == u"wayland";
    const bool gnome = session.desktop.contains(u"GNOME"_s, Qt::CaseInsensitive);
    const bool canWayland = waylandSession && session.waylandPlugin;
    const bool canX11 = session.x11 && session.xcbPlugin;
    QStringList order;
    if (canWayland && canX11)
        order = gnome ? QStringList{u"xcb"_s, u"wayland"_s} : QStringList{u"wayland"_s, u"xcb"_s};
    else if (canWayland)
        order = {u"wayland"_s};
    else if (canX11)
        order = {u"xcb"_s};
    if (!order.isEmpty())
        return {order.join(u';'), {}};

    if (!waylandSession && !session.x11)
        return {{}, u"no display to open windows on: neither WAYLAND_DISPLAY nor DISPLAY is set"_s};
    QStringList missing;
    if (waylandSession && !session.waylandPlugin)
        missing.append(u"Wayland (Debian package qt6-wayland)"_s);
    if (session.x11 && !session.xcbPlugin)
        missing.append(u"X11 (Debian package qt6-qpa-plugins)"_s);
    return {{}, u"Qt's platform plugin for this session is not installed: "_s + missing.join(u", "_s)};
}

} // namespace tallyvue
