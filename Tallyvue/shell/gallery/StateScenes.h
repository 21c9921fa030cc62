// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace tallyvue::gallery {

/**
 * The states where a figure is not current or a provider needs the user: stale last values,
 * another provider's figure standing in, not signed in, an expired sign-in and a rate limit.
 * Each is drawn as the popover page and, beside it, the tray label with its tooltip, in the
 * palette and scale in force; `dark` names the file. False when a file could not be written.
 */
bool renderStateScenes(const QString& dir, bool dark);

} // namespace tallyvue::gallery
