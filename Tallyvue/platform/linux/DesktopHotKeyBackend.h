// SPDX-License-Identifier: MIT
#pragma once

#include "platform/linux/HotKeyManager.h"

#include <memory>

namespace tallyvue {

/// The shortcut backend for this session: the X11 grab when the application runs on X11, the
/// desktop portal on Wayland; null when neither applies (registrations are then refused).
std::unique_ptr<HotKeyBackend> createDesktopHotKeyBackend();

} // namespace tallyvue
