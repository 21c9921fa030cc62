#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""MATE 1.27's panel with its notification area: the area shows the item's label (it draws no
icon of an item), and a click, which MATE reports at a point inside its applet, opens the popover
at the item, not at the screen's far left. The panel stays idle."""
from desktop_hosts import accessible_frame, common_checks, mate, xdotool_click
from tallyvue_session import check, run


def scenario(session):
    def frame():
        # The area is as wide as what it shows: the label "42%  ·  7d 63%", not a bare icon.
        box = accessible_frame(session, "mate-panel", "Panel Notification Area")
        return box if box and box[2] >= 60 else None
    common_checks(session, frame, xdotool_click(session))
    check("shows the label" in session.output(), "the notification area was not taken for a label host")


if __name__ == "__main__":
    run(scenario, host=mate())
