#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Cinnamon 5.6: its tray shows the digits icon on the dark plate (its panel is dark), a click
opens the popover at it, a click on the bare desktop closes it (that click leaves the focus
alone there), and cinnamon stays idle."""
from desktop_hosts import cinnamon, common_checks, greenish, screen_pixels, x11_popover, xdotool_click
from tallyvue_session import check, run, wait_for

PLATE = (0x1C, 0x1C, 0x1E)


def item_frame(session):
    """The item on the bottom panel: the plate's colour is ours alone there; the digits on it
    are the level's green."""
    strip = screen_pixels(session, (0, 760, 1280, 40))
    spots = [(i % 1280, 760 + i // 1280) for i, pixel in enumerate(strip) if pixel == PLATE]
    if len(spots) < 100:
        return None
    xs, ys = [x for x, _ in spots], [y for _, y in spots]
    box = min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1
    digits = [strip[(y - 760) * 1280 + x] for x in range(box[0], box[0] + box[2]) for y in range(box[1], box[1] + box[3])]
    return box if greenish(digits) >= 10 else None


def scenario(session):
    common_checks(session, lambda: item_frame(session), xdotool_click(session), cpu_limit=0.40)
    box = item_frame(session)  # other items may have come beside it meanwhile
    check(box, "the item's digits are gone from the panel")
    click = xdotool_click(session)
    click(box[0] + box[2] // 2, box[1] + box[3] // 2)
    wait_for(lambda: x11_popover(session), 10, "the popover again")
    click(640, 300)
    wait_for(lambda: x11_popover(session) is None, 5, "the popover to close on a click on the bare desktop")


if __name__ == "__main__":
    run(scenario, host=cinnamon())
