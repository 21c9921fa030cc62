// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

namespace tallyvue {

/// The version set in the build ("0.1.0"), or "?" when the build left it empty.
QString shortVersion();
/// The build number set in the build, or "?" likewise.
QString buildNumber();
/// The running program's path, shown beside the local-build label.
QString executablePath();
/// "Local build" unless the program runs from an installed location (/usr, /opt, ~/.local,
/// the configured install prefix, a Flatpak or Snap); none for an installed copy.
std::optional<QString> localBuildLabel();
std::optional<QString> localBuildLabel(const QString& executable, const QString& home);

} // namespace tallyvue
