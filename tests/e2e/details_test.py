#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The details window through the accessibility tree: opened with the popover's details button,
ChatGPT picked in its sidebar, the snapshot count read out; asking again raises the same window."""
import re

from tallyvue_session import Failure, check, run, wait_for


def popover_still_open(session):
    """Whether the popover is still open after a moment given for it to close."""
    try:
        wait_for(lambda: not session.popovers(), 5, "no popover")
        return False
    except Failure:
        return True


def scenario(session):
    session.wait_for_refresh()
    session.activate_item()
    details_button = session.find(session.popover(), name="Open the details window", role="push button")
    session.do_action(details_button, "Press")

    window = session.find(name="Tallyvue Details", role="frame", showing=True)
    # The title the window manager shows is the window's own, without the program's name after it.
    titles = session.xdotool("search", "--name", "Tallyvue Details", "getwindowname", "%@").split("\n")
    check("Tallyvue Details" in titles, f"the details window's title reads {titles!r}")
    session.find(window, name="Providers", role="heading")
    sidebar = session.find(window, name="Providers", role="list")
    claude = session.find(sidebar, name=lambda n: n.startswith("Claude, "))
    check(re.fullmatch(r"Claude, \d+ limits?, \d+%", claude.name), f"the Claude row reads {claude.name!r}")

    # Picked through the row's action, as a screen reader does.
    session.do_action(session.find(sidebar, name=lambda n: n.startswith("ChatGPT")))
    session.find(window, name="ChatGPT / Codex", role="label", showing=True)
    count = session.find(window, name=lambda n: bool(re.fullmatch(r"\d+ in range", n)), role="label", showing=True)
    check(int(count.name.split()[0]) >= 1, f"the snapshot table counts {count.name!r}")

    # Asking again brings the same window forward instead of opening a second one. Activate
    # toggles the popover: it normally closed when the window took the focus; if it is still
    # open, activating would close it. An activation can land while it is still closing: ask again.
    shown = None
    for _ in range(3):
        if popover_still_open(session):
            break
        session.activate_item()
        try:
            shown = session.popover(timeout=10)
            break
        except Failure:
            pass
    session.do_action(session.find(shown or session.popover(), name="Open the details window", role="push button"),
                      "Press")
    wait_for(lambda: len(session.find_all(name="Tallyvue Details", role="frame")) == 1, 5, "one details window")


if __name__ == "__main__":
    run(scenario, tools=("xdotool",),
        settings={"selectedPage": "Claude", "selectedTab": "Models", "detailPage": "Claude"})
