#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Every screen as screen-reader and keyboard-only users meet it: the popover (each provider and tab,
Overview, Settings), the details window with its History menu and the widget. Fails on a focusable
control without a name, an action that reports success without effect, a shown value that cannot
be read, or a Tab cycle that does not come back (a trap). Then the same with xdotool keys only."""
import os
import time

from tallyvue_session import ACCESSIBLE_ENV, check, run, wait_for

# Focusable nodes that take their name from their content (a list's rows, a table's cells).
CONTENT_ROLES = {"list item", "table cell", "column header", "row header"}


def readable_text(session, root):
    return "\n".join(f"{n.name}\n{n.description}\n{session.text_of(n)}" for n in session.find_all(root, showing=True))


def audit(session, root, screen, values=()):
    """Fails on an unnamed focusable control or on a shown value no accessible text carries."""
    unnamed = [f"{n.getRoleName()} in {n.parent.name!r} in {n.parent.parent.name!r}" for n in session.find_all(
        root, showing=True, predicate=lambda n: session.has_state(n, "STATE_FOCUSABLE") and not (n.name or "").strip()
        and n.getRoleName() not in CONTENT_ROLES)]
    check(not unnamed, f"{screen}: focusable controls without a name: {unnamed}")
    text = readable_text(session, root)
    missing = [value for value in values if value not in text]
    check(not missing, f"{screen}: shown but not readable: {missing}")


def key(session, *keys):
    session.xdotool("key", "--delay", "60", *keys)
    time.sleep(0.25)


def focused(session, root):
    """The node with keyboard focus. A list or table keeps its current row marked focused after
    focus has left it; such a row counts only while its list has focus."""
    found = [node for node in session.find_all(root, predicate=lambda n: session.has_state(n, "STATE_FOCUSED"))
             if node.getRoleName() not in CONTENT_ROLES or session.has_state(node.parent, "STATE_FOCUSED")]
    return found[-1] if found else None


def signature(node):
    # Not the position: a scroll area moves its controls as focus walks through it.
    return None if node is None else (node.getRoleName(), node.name, node.getIndexInParent(),
                                      node.parent.name if node.parent else None)


def tab_cycle(session, root, screen, limit=90):
    """Tabs until focus is back where it started; returns the names passed. Fails on a trap."""
    start = signature(focused(session, root))
    check(start is not None, f"{screen}: nothing has keyboard focus")
    passed = []
    for _ in range(limit):
        key(session, "Tab")
        now = signature(focused(session, root))
        if now == start:
            return passed
        passed.append(now)
    check(False, f"{screen}: Tab never came back to {start} (a trap?), last stops {passed[-6:]}")


def focus_on(session, root, name, limit=60):
    """Tabs until the control called `name` has focus (the keyboard moves, AT-SPI only watches)."""
    for _ in range(limit):
        node = focused(session, root)
        if node is not None and (node.name == name or (callable(name) and name(node.name or ""))):
            return node
        key(session, "Tab")
    check(False, f"Tab never reached {name!r}")


def windows(session, process="tallyvue"):
    """tallyvue's visible X windows: menus and dialogs have transient parents, which AT-SPI's
    application node does not list, so their opening is seen here."""
    return set(session.xdotool("search", "--onlyvisible", "--pid", session.processes[process].pid,
                               check=False).split())


def menu_opens(session, opener, what, process="tallyvue"):
    """`opener()` opens a menu (a new window of `process`), and Escape closes it again."""
    before = windows(session, process)
    opener()
    wait_for(lambda: windows(session, process) - before, 10, what)
    key(session, "Escape")
    wait_for(lambda: not windows(session, process) - before, 10, f"Escape to close the menu ({what})")


def press(session, node, done, what, action=None):
    """Runs `node`'s action (default: its first) and waits until it had its effect."""
    session.do_action(node, action)
    wait_for(done, 10, what)


def select(session, tab, what):
    press(session, tab, lambda: session.has_state(tab, "STATE_SELECTED"), f"{what} to be selected by Press")


def walk_screens(session):
    shell = session.popover()
    pages = session.find(shell, name="Provider", role="page tab list")
    tabs = session.find(shell, name="Tab", role="page tab list")

    # Each provider and tab: its tab is selected by its action, and its values can be read.
    for provider, value in (("Claude Code", "42"), ("ChatGPT / Codex", "12"), ("GitHub Copilot", None)):
        select(session, session.find(pages, name=provider, role="page tab"), provider)
        for name in ("Models", "Stats", "Trends", "This Computer"):
            select(session, session.find(tabs, name=name, role="page tab"), f"the {name} tab")
            time.sleep(0.3)
            audit(session, shell, f"{provider} / {name}", [value] if value and name == "Models" else [])
            if name == "Trends":
                chart = session.find(shell, name=lambda n: n.startswith("Usage history"), showing=True)
                check("now" in (chart.description or ""), f"the history chart says only {chart.description!r}")
                seven = session.find(shell, name="7 days", showing=True)
                press(session, seven, lambda: session.is_checked(seven), "the 7 days range to be chosen by its action")

    select(session, session.find(pages, name="Overview", role="page tab"), "the Overview")
    session.find(shell, name="Claude Code", role="panel", showing=True)  # the card, named by its provider
    audit(session, shell, "Overview", ["5-Hour, 42 percent used"])

    # Settings: the gear stays pressed, a picker entry chosen through AT-SPI really changes it.
    gear = session.find(shell, name="Settings", role="push button")
    press(session, gear, lambda: session.is_checked(gear), "the settings to open", "Toggle")
    audit(session, shell, "Settings")
    label = session.find(shell, name="Show quota as", role="label", showing=True)
    mode = session.find(label.parent, role="combo box")
    remaining = session.find(mode, name="Remaining", role="list item")
    press(session, remaining, lambda: "quotaDisplayMode=remaining" in session.stored_settings(),
          "a list item's action to pick it")
    import pyatspi
    threshold = session.find(shell, role="combo box", predicate=lambda n: any(
        r.getRelationType() == pyatspi.RELATION_LABELLED_BY and r.getTarget(0).name == "Claude alert threshold"
        for r in n.getRelationSet()))
    check(threshold.name.endswith("%"), f"the threshold picker reads {threshold.name!r}, not its value")
    press(session, gear, lambda: not session.is_checked(gear), "the settings to close", "Toggle")

    # The details window: named, readable, a History menu that opens, and no Tab trap.
    session.do_action(session.find(shell, name="Open the details window", role="push button"), "Press")
    window = session.find(name="Tallyvue Details", role="frame", showing=True)
    time.sleep(0.5)
    audit(session, window, "details window", ["Snapshots"])
    history = session.find(window, name="History", role="push button")
    menu_opens(session, lambda: session.do_action(history), "the History button's action to open its menu")
    return window


def walk_widget(session):
    program = os.path.join(os.path.dirname(session.tallyvue_path), "tallyvue-widget")
    session._spawn("widget", [program, "--family", "medium"], env=dict(session.env, **ACCESSIBLE_ENV))
    app = session.application("tallyvue-widget")
    # The walk above switched to Remaining: 57% of the 5-Hour window is left.
    wait_for(lambda: "5-Hour, 57%" in readable_text(session, app), 20, "the widget's values to be readable")
    audit(session, app, "widget")
    # The keyboard reaches its menu.
    window = session.xdotool("search", "--name", "Tallyvue Usage", check=False).split()
    check(window, "no widget window")
    session.xdotool("windowfocus", "--sync", window[0], check=False)
    for opener in ("shift+F10", "Menu"):
        menu_opens(session, lambda: key(session, opener), f"{opener} to open the widget's menu", "widget")


def keyboard_only(session, window):
    # Close the details window with Escape, then open the popover with the global shortcut.
    session.xdotool("search", "--name", "Tallyvue Details", "windowfocus", "--sync", check=False)
    key(session, "Escape")
    wait_for(lambda: not session.has_state(window, "STATE_SHOWING"), 10, "Escape to close the details window")
    key(session, "ctrl+alt+q")
    shell = session.popover()
    time.sleep(0.5)
    tab_cycle(session, shell, "popover")

    # Provider, then tab, with arrows.
    focus_on(session, shell, lambda n: n in ("Claude Code", "Overview", "ChatGPT / Codex", "GitHub Copilot"))
    key(session, "Home", "Right")
    wait_for(lambda: "selectedPage=Claude" in session.stored_settings(), 10, "Right to select Claude")
    key(session, "Tab", "End")
    wait_for(lambda: "selectedTab=This" in session.stored_settings(), 10, "End to select the last tab")

    # A setting, with Space.
    focus_on(session, shell, "Settings")
    key(session, "space")
    focus_on(session, shell, "Monochrome")
    key(session, "space")
    wait_for(lambda: "menuBarMonochrome=true" in session.stored_settings(), 10, "Space to turn Monochrome on")
    tab_cycle(session, shell, "settings")
    focus_on(session, shell, "Settings")
    key(session, "space")

    # The details window opens with Return and has no trap; its History menu opens with Space.
    focus_on(session, shell, "Open the details window")
    key(session, "Return")
    details = session.find(name="Tallyvue Details", role="frame", showing=True)
    time.sleep(0.5)
    tab_cycle(session, details, "details window")
    focus_on(session, details, "History")
    menu_opens(session, lambda: key(session, "space"), "Space to open the History menu")
    # Export: Space opens the menu with its first entry lit, Return chooses it, and the save
    # dialog takes a typed path.
    exported = os.path.join(session.home, "keyboard-export.csv")
    before = windows(session)
    key(session, "space")
    wait_for(lambda: windows(session) - before, 10, "Space to open the History menu again")
    key(session, "Return")
    session.find(name="Export History as CSV", role="dialog", showing=True)
    key(session, "ctrl+a")
    session.xdotool("type", "--delay", "20", exported)
    key(session, "Return")
    wait_for(lambda: os.path.exists(exported), 10, "Return in the save dialog to export the history")
    # There is no window manager here to hand the focus back to the window the dialog closed on.
    session.xdotool("search", "--name", "^Tallyvue Details$", "windowfocus")
    key(session, "Escape")
    wait_for(lambda: not session.has_state(details, "STATE_SHOWING"), 10, "Escape to close the details window again")


def scenario(session):
    session.wait_for_refresh()
    session.activate_item()
    window = walk_screens(session)
    keyboard_only(session, window)
    walk_widget(session)


if __name__ == "__main__":
    run(scenario, tools=("xdotool",), settings={"selectedPage": "Claude", "selectedTab": "Models",
                                                "detailPage": "Claude", "hotKeyPreset": "ctrlOptQ"})
