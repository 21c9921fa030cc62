#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Where the popover reopens: settings left open are gone at the next click on the tray item,
which shows the page the user was reading, and a click on a threshold alert (shown by dunst)
shows the alerting provider's Models tab, even over open settings."""
import subprocess

from tallyvue_session import Failure, check, run, wait_for


def scenario(session):
    session.wait_for_refresh()
    wait_for(lambda: "Sent threshold alert for ChatGPT:primary" in session.output(), 20, "the ChatGPT alert")

    session.activate_item()
    popover = session.find(name="Tallyvue", role="frame", showing=True)
    gear = session.find(popover, name="Settings", role="push button")
    claude = session.find(popover, name="Claude Code")
    chatgpt = session.find(popover, name="ChatGPT / Codex")
    trends = session.find(popover, name="Trends")
    session.do_action(gear, "Toggle")
    wait_for(lambda: session.is_checked(gear), 10, "the settings to open")

    # A click on the tray item closes the panel; the next one opens it on Claude's Trends tab.
    session.activate_item()
    wait_for(lambda: not session.is_showing(popover), 10, "the popover to close")
    # On a loaded machine an activation can be lost while the panel is still settling: ask again.
    for attempt in range(3):
        session.activate_item()
        try:
            wait_for(lambda: session.is_showing(popover), 10, "the popover to open again")
            break
        except Failure:
            if attempt == 2:
                raise
    check(not session.is_checked(gear), "the popover reopened on the settings")
    check(session.is_checked(claude) and session.is_checked(trends), "the popover left the Claude Trends page")

    # With the settings open again, the alert's click shows ChatGPT's Models tab.
    session.do_action(gear, "Toggle")
    wait_for(lambda: session.is_checked(gear), 10, "the settings to open again")
    models = session.find(popover, name="Models")

    # On a loaded machine the first click can come before dunst has the alert ready: click again.
    for attempt in range(3):
        subprocess.run(["dunstctl", "action", "0"], env=session.env, check=True, timeout=10)
        try:
            wait_for(lambda: session.is_checked(chatgpt) and session.is_checked(models), 10, "ChatGPT's Models tab")
            break
        except Failure:
            if attempt == 2:
                raise
    check(session.is_showing(popover), "the alert's click did not show the popover")
    check(not session.is_checked(gear), "the alert's click left the settings in front")


if __name__ == "__main__":
    run(scenario, notifications=True, settings={
        "selectedPage": "Claude", "selectedTab": "Trends",
        "alertsEnabled": "true", "alertThreshold.ChatGPT": "10",
    })
