#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Where the popover reopens: settings left open are gone at the next click on the tray item,
which shows the page the user was reading, and a click on a threshold alert (shown by dunst)
shows the alerting provider's Models tab, even over open settings."""
import subprocess

from tallyvue_session import check, retry, run, wait_for


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
    retry(session.activate_item, lambda: session.is_showing(popover), "the popover to open again")
    check(not session.is_checked(gear), "the popover reopened on the settings")
    check(session.is_checked(claude) and session.is_checked(trends), "the popover left the Claude Trends page")

    # With the settings open again, the alert's click shows ChatGPT's Models tab.
    session.do_action(gear, "Toggle")
    wait_for(lambda: session.is_checked(gear), 10, "the settings to open again")
    models = session.find(popover, name="Models")
    retry(lambda: subprocess.run(["dunstctl", "action", "0"], env=session.env, check=True, timeout=10),
          lambda: session.is_checked(chatgpt) and session.is_checked(models), "ChatGPT's Models tab")
    check(session.is_showing(popover), "the alert's click did not show the popover")
    check(not session.is_checked(gear), "the alert's click left the settings in front")


if __name__ == "__main__":
    run(scenario, notifications=True, settings={
        "selectedPage": "Claude", "selectedTab": "Trends",
        "alertsEnabled": "true", "alertThreshold.ChatGPT": "10",
    })
