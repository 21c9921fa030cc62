#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The popover through the accessibility tree only, as a screen-reader user meets it: the tray
item is activated over D-Bus, the selector's "Toggle" switches to ChatGPT and back, and the
Claude card reads its percentage aloud."""
from tallyvue_session import check, run, wait_for


def scenario(session):
    session.wait_for_refresh()
    session.activate_item()
    popover = session.find(name="Tallyvue", role="frame", showing=True)

    claude = session.find(popover, name="Claude Code")
    chatgpt = session.find(popover, name="ChatGPT / Codex")
    check(session.is_checked(claude), "the Claude page should be selected at first")

    # A checkable selector button offers "Toggle"; it must really switch the page.
    session.do_action(chatgpt, "Toggle" if "Toggle" in session.actions(chatgpt) else None)
    wait_for(lambda: session.is_checked(chatgpt) and not session.is_checked(claude), 10,
             "the ChatGPT page to be selected")
    session.find(popover, name=lambda n: n.startswith("ChatGPT") and "12 percent used" in n, showing=True)

    session.do_action(claude, "Toggle" if "Toggle" in session.actions(claude) else None)
    wait_for(lambda: session.is_checked(claude), 10, "the Claude page to be selected again")
    five_hour = session.find(popover, name=lambda n: n.startswith("Claude, 5-Hour, 42 percent used"), showing=True)
    check("resets in" in five_hour.name, f"the reset time is not read out: {five_hour.name!r}")
    percent = session.find(five_hour, name="42%")
    check(session.text_of(percent) == "42%", f"the shown percentage reads {session.text_of(percent)!r}")


if __name__ == "__main__":
    run(scenario, settings={"selectedPage": "Claude", "selectedTab": "Models"})
