#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Every screen as a screen-reader and keyboard-only user meets it. The walker visits the popover
(each provider and tab, the Overview, Settings), the details window with its History menu and the
desktop widget, and fails on a focusable control without a name, an action that reports success
but changes nothing, a shown value that cannot be read, or a Tab cycle that does not come back
(a trap). Then the keyboard alone, with xdotool: open the popover, switch provider and tab,
change a setting, open and close the details window and open its History menu."""
import os
import shutil
import subprocess
import sys
import time

from tallyvue_session import check, run, wait_for

# Focusable nodes that take their name from their content (a list's rows, a table's cells).
CONTENT_ROLES = {"list item", "table cell", "column header", "row header"}


def state(node, name):
    import pyatspi
    return node.getState().contains(getattr(pyatspi, name))


def readable_text(session, root):
    """Everything a screen reader can read under `root`: names, descriptions and texts."""
    parts = []
    for node in session.find_all(root, showing=True):
        parts += [node.name or "", node.description or "", session.text_of(node) or ""]
    return "\n".join(parts)


def describe(node):
    """"push button" under "list 'Pages'" under ...: where an unnamed node sits."""
    chain = []
    while node is not None and len(chain) < 5:
        chain.append(f"{node.getRoleName()} {node.name!r}")
        node = node.parent
    return " < ".join(chain)


def audit(session, root, screen, values=()):
    """Fails on an unnamed focusable control or on a shown value no accessible text carries."""
    unnamed = [describe(node) for node in session.find_all(
        root, showing=True, predicate=lambda n: state(n, "STATE_FOCUSABLE") and not (n.name or "").strip()
        and n.getRoleName() not in CONTENT_ROLES)]
    check(not unnamed, f"{screen}: focusable controls without a name: {unnamed}")
    text = readable_text(session, root)
    missing = [value for value in values if value not in text]
    check(not missing, f"{screen}: shown but not readable: {missing}")


def key(session, *keys):
    subprocess.run(["xdotool", "key", "--delay", "60", *keys], env=session.env, check=True)
    time.sleep(0.25)


def focused(session, root):
    """The node with keyboard focus. A list or table keeps its current row marked focused after
    focus has left it; such a row counts only while its list has focus."""
    found = [node for node in session.find_all(root, predicate=lambda n: state(n, "STATE_FOCUSED"))
             if node.getRoleName() not in CONTENT_ROLES or state(node.parent, "STATE_FOCUSED")]
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


def stored(session):
    try:
        with open(os.path.join(session.home, ".config/Tallyvue/Tallyvue.conf")) as file:
            return file.read()
    except FileNotFoundError:
        return ""


def windows(session, process="tallyvue"):
    """tallyvue's visible X windows: menus and dialogs have transient parents, which AT-SPI's
    application node does not list, so their opening is seen here."""
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(session.processes[process].pid)],
                         env=session.env, capture_output=True, text=True).stdout
    return set(out.split())


def popover(session, timeout=20):
    return session.find(name="Tallyvue", predicate=lambda n: n.getRoleName() in ("frame", "filler", "window"),
                        showing=True, timeout=timeout)


def walk_screens(session):
    shell = popover(session)
    pages = session.find(shell, name="Provider", role="page tab list")
    tabs = session.find(shell, name="Tab", role="page tab list")

    # Each provider and tab: its tab is selected by its action, and its values can be read.
    for provider, value in (("Claude Code", "42"), ("ChatGPT / Codex", "12"), ("GitHub Copilot", None)):
        tab = session.find(pages, name=provider, role="page tab")
        session.do_action(tab, "Press")
        wait_for(lambda: state(tab, "STATE_SELECTED"), 10, f"{provider} to be selected by Press")
        for name in ("Models", "Stats", "Trends", "This Computer"):
            page = session.find(tabs, name=name, role="page tab")
            session.do_action(page, "Press")
            wait_for(lambda: state(page, "STATE_SELECTED"), 10, f"the {name} tab to be selected by Press")
            time.sleep(0.3)
            audit(session, shell, f"{provider} / {name}", [value] if value and name == "Models" else [])
            if name == "Trends":
                chart = session.find(shell, name=lambda n: n.startswith("Usage history"), showing=True)
                check("now" in (chart.description or ""), f"the history chart says only {chart.description!r}")
                seven = session.find(shell, name="7 days", showing=True)
                session.do_action(seven, session.actions(seven)[0])
                wait_for(lambda: session.is_checked(seven), 10, "the 7 days range to be chosen by its action")

    overview = session.find(pages, name="Overview", role="page tab")
    session.do_action(overview, "Press")
    wait_for(lambda: state(overview, "STATE_SELECTED"), 10, "the Overview to be selected")
    claude_card = session.find(shell, name="Claude Code", predicate=lambda n: n.getRoleName() != "page tab",
                               showing=True)
    audit(session, shell, "Overview", ["5-Hour, 42 percent used"])
    check(claude_card is not None, "the Overview's Claude card has no name")

    # Settings: the gear stays pressed, a picker entry chosen through AT-SPI really changes it.
    gear = session.find(shell, name="Settings", role="push button")
    session.do_action(gear, "Toggle")
    wait_for(lambda: session.is_checked(gear), 10, "the settings to open")
    audit(session, shell, "Settings")
    label = session.find(shell, name="Show quota as", role="label", showing=True)
    mode = session.find(label.parent, role="combo box")
    remaining = session.find(mode, name="Remaining", role="list item")
    session.do_action(remaining, session.actions(remaining)[0])
    wait_for(lambda: "quotaDisplayMode=remaining" in stored(session), 10, "a picker entry's action to choose it")
    session.do_action(gear, "Toggle")
    wait_for(lambda: not session.is_checked(gear), 10, "the settings to close")

    # The details window: named, readable, a History menu that opens, and no Tab trap.
    session.do_action(session.find(shell, name="Open the details window", role="push button"), "Press")
    # Reading the tree while the popover closes and the window is built has crashed Qt 6.4's
    # accessibility cache here now and then; let the window settle first.
    time.sleep(2)
    window = session.find(name="Tallyvue Details", role="frame", showing=True)
    time.sleep(0.5)
    audit(session, window, "details window", ["Snapshots"])
    history = session.find(window, name="History", role="push button")
    before = windows(session)
    session.do_action(history, session.actions(history)[0])
    wait_for(lambda: windows(session) - before, 10, "the History button's action to open its menu")
    key(session, "Escape")
    wait_for(lambda: not windows(session) - before, 10, "Escape to close the History menu")
    return window


def walk_widget(session):
    program = os.path.join(os.path.dirname(session.tallyvue_path), "tallyvue-widget")
    check(os.path.exists(program), f"{program} is not built")
    env = dict(session.env, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    session._spawn("widget", [program, "--family", "medium"], env=env)
    import pyatspi

    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        return next((app for app in (desktop.getChildAtIndex(i) for i in range(desktop.childCount))
                     if app is not None and (app.name or "").startswith("tallyvue-widget")), None)
    app = wait_for(find, 20, "tallyvue-widget on the accessibility bus")
    # The walk above switched to Remaining: 57% of the 5-Hour window is left.
    wait_for(lambda: "5-Hour, 57%" in readable_text(session, app), 20, "the widget's values to be readable")
    audit(session, app, "widget")
    # The keyboard reaches its menu.
    window = subprocess.run(["xdotool", "search", "--name", "Tallyvue Usage"], env=session.env,
                            capture_output=True, text=True).stdout.split()
    check(window, "no widget window")
    subprocess.run(["xdotool", "windowfocus", "--sync", window[0]], env=session.env, check=False)
    before = windows(session, "widget")
    key(session, "shift+F10")
    wait_for(lambda: windows(session, "widget") - before, 10, "Shift+F10 to open the widget's menu")
    key(session, "Escape")
    wait_for(lambda: not windows(session, "widget") - before, 10, "Escape to close the widget's menu")
    key(session, "Menu")
    wait_for(lambda: windows(session, "widget") - before, 10, "the Menu key to open the widget's menu")
    key(session, "Escape")


def keyboard_only(session, window):
    # Close the details window with Escape, then open the popover with the global shortcut.
    subprocess.run(["xdotool", "search", "--name", "Tallyvue Details", "windowfocus", "--sync"], env=session.env,
                   check=False)
    key(session, "Escape")
    wait_for(lambda: not state(window, "STATE_SHOWING"), 10, "Escape to close the details window")
    key(session, "ctrl+alt+q")
    shell = popover(session)
    time.sleep(0.5)
    tab_cycle(session, shell, "popover")

    # Provider, then tab, with arrows.
    focus_on(session, shell, lambda n: n in ("Claude Code", "Overview", "ChatGPT / Codex", "GitHub Copilot"))
    key(session, "Home", "Right")
    wait_for(lambda: "selectedPage=Claude" in stored(session), 10, "Right to select Claude")
    key(session, "Tab", "End")
    wait_for(lambda: "selectedTab=This" in stored(session), 10, "End to select the last tab")

    # A setting, with Space.
    focus_on(session, shell, "Settings")
    key(session, "space")
    focus_on(session, shell, "Monochrome")
    key(session, "space")
    wait_for(lambda: "menuBarMonochrome=true" in stored(session), 10, "Space to turn Monochrome on")
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
    before = windows(session)
    key(session, "space")
    menu = wait_for(lambda: windows(session) - before, 10, "Space to open the History menu")
    key(session, "Escape")
    wait_for(lambda: not windows(session) - before, 10, "Escape to close the History menu")
    key(session, "Escape")
    wait_for(lambda: not state(details, "STATE_SHOWING"), 10, "Escape to close the details window again")


def scenario(session):
    session.wait_for_refresh()
    session.activate_item()
    window = walk_screens(session)
    keyboard_only(session, window)
    walk_widget(session)


if __name__ == "__main__":
    if not shutil.which("xdotool"):
        print("SKIP: xdotool is not installed (scripts/setup installs it)")
        sys.exit(77)
    run(scenario, settings={"selectedPage": "Claude", "selectedTab": "Models", "detailPage": "Claude",
                            "hotKeyPreset": "ctrlOptQ"})
