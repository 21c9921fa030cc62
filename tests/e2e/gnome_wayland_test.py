#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The GNOME scenario in Debian's default session: GNOME Shell headless on Wayland, with
XWayland. Tallyvue picks X11 through XWayland there, so it can place its popover under the item
(the scenario finds it on XWayland's display)."""
from desktop_hosts import gnome
from gnome_x11_test import scenario
from tallyvue_session import run

if __name__ == "__main__":
    run(scenario, host=gnome(wayland=True))
