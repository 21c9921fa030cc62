#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The settings panel through the accessibility tree and the keyboard: the header's gear opens
it, "Show quota as" is switched to Remaining, and the popover, the stored preferences and
`tallyvue-cli status` all show the remaining share at once, without a new fetch."""
import json
import time

from tallyvue_session import CLAUDE_PATH, check, run, wait_for


def scenario(session):
    session.wait_for_refresh()
    session.activate_item()
    popover = session.popover()
    session.find(popover, name="42%", role="label", showing=True)
    fetches = session.server.requests.count(CLAUDE_PATH)

    gear = session.find(popover, name="Settings", role="push button")
    session.do_action(gear, "Toggle")
    wait_for(lambda: session.is_checked(gear), 10, "the settings button to be on")
    # A screen reader finds a picker by the label beside it; the picker's own name is its value.
    label = session.find(popover, name="Show quota as", role="label", showing=True)
    mode = session.find(label.parent, role="combo box")
    check(mode.name == "Used", f"the display mode picker reads {mode.name!r}")
    session.find(mode, name="Remaining", role="list item")

    # Open the list and choose the next entry with the keyboard, as a keyboard user would.
    session.do_action(mode, "ShowMenu")
    time.sleep(0.5)
    session.xdotool("key", "Down", "Return")
    wait_for(lambda: "quotaDisplayMode=remaining" in session.stored_settings(), 10, "the stored display mode")
    wait_for(lambda: mode.name == "Remaining", 10, "the picker to show Remaining")
    check(session.is_showing(popover), "choosing an entry must not close the popover")

    # The widget snapshot is rewritten at once, so the CLI follows without a fetch.
    status = json.loads(session.cli("status", "--json"))
    check(status.get("displayMode") == "remaining", f"status --json says {status.get('displayMode')!r}")
    claude = next(metric for metric in status["metrics"] if metric["kind"] == "session")
    check(claude["percent"] == 42.5, f"the stored percent stays the used one: {claude['percent']!r}")
    text = session.cli("status")
    check(text.startswith("57%"), f"tallyvue-cli status reads {text!r}")

    # Closing the settings shows the card again, now with what is left.
    session.do_action(gear, "Toggle")
    wait_for(lambda: not session.is_checked(gear), 10, "the settings button to be off")
    session.find(popover, name="57%", role="label", showing=True)
    check(not session.find_all(popover, name="42%", role="label", showing=True), "a used percentage is still shown")
    check(session.server.requests.count(CLAUDE_PATH) == fetches, "switching the display mode fetched again")


if __name__ == "__main__":
    run(scenario, tools=("xdotool",), settings={"selectedPage": "Claude", "selectedTab": "Models"})
