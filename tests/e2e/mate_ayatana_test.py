#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""MATE's Ayatana indicator applet, whose service draws an item only from IconName and
IconThemePath: the applet shows the glyph from Tallyvue's icon files (not a broken-image
placeholder) beside the label, a middle click opens the popover at it, and it stays idle."""
from desktop_hosts import accessible_frame, common_checks, greenish, mate, screen_pixels, xdotool_click
from tallyvue_session import check, run


def scenario(session):
    def frame():
        box = accessible_frame(session, "mate-panel", "indicator-applet")
        return box if box and box[2] >= 60 and 0 <= box[1] < 30 else None  # on the top edge, not while it moves
    box = common_checks(session, frame, xdotool_click(session, button=2))
    icon = screen_pixels(session, (box[0], box[1], box[3], box[3]))
    check(greenish(icon) >= 6, "no green usage bars in the applet's icon: the image files were not drawn")


if __name__ == "__main__":
    run(scenario, host=mate(ayatana=True))
