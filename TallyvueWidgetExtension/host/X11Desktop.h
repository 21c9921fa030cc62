// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

namespace tallyvue::widget {

/**
 * Asks an X11 window manager to keep `window` on every workspace and out of task bars and
 * pagers (Qt's own flags give frameless and below). Call after the native window exists and
 * before it is shown. Does nothing on other platforms.
 */
void keepOnDesktopLayer(QWidget* window);
/// Whether a compositing manager runs on X11 (false elsewhere): without one, corners cannot be see-through.
bool x11HasCompositor();

} // namespace tallyvue::widget
