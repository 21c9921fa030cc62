// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace tallyvue {

/// Tallyvue's XDG autostart entry: $XDG_CONFIG_HOME/autostart/tallyvue.desktop.
QString launchAtLoginEntryPath();
/// True when the autostart entry exists and is not switched off (Hidden=true, or GNOME's
/// X-GNOME-Autostart-enabled=false).
bool launchAtLoginEnabled();
/// Writes (or removes) the autostart entry that starts `executable`. On failure writes
/// "Launch at login error: ..." and returns false; the caller then reads launchAtLoginEnabled().
bool setLaunchAtLogin(bool enabled, const QString& executable = {});

namespace detail {
/// One Exec= argument, quoted and escaped as the desktop entry format requires.
QString desktopExecArgument(const QString& argument);
} // namespace detail

} // namespace tallyvue
