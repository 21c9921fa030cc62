// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

namespace tallyvue {

/// Whether the tray icon carries the primary percentage as digits ("trayIconShowsPercent").
enum class TrayIconPercent {
    Automatic, ///< where the tray host shows no text beside the icon
    Always,
    Never,
};

inline constexpr QStringView kTrayIconShowsPercentKey = u"trayIconShowsPercent";

QString rawValue(TrayIconPercent choice);
std::optional<TrayIconPercent> trayIconPercentFromRaw(QStringView raw);

/// The stored choice; missing or unknown values read as automatic.
TrayIconPercent trayIconShowsPercent();
void setTrayIconShowsPercent(TrayIconPercent choice);

} // namespace tallyvue
