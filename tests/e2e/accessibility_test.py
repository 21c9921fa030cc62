#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Every screen as screen-reader and keyboard-only users meet it: the popover (each provider and tab,
Overview, Settings), the details window with its History menu and the widget. Fails on a focusable
control without a name, an action that reports success without effect, a shown value that cannot
be read, or a Tab cycle that does not come back (a trap). Then the same with xdotool keys only."""
import os
import shutil
import subprocess
import sys
import time

from details_test import popover
from settings_test import stored_settings
from tallyvue_session import check, run, wait_for

# Focusable nodes that take their name from their content (a list's rows, a table's cells).
CONTENT_ROLES = {"list item", "table cell", "column header", "row header"}


def state(node, name):
    import pyatspi
    return node.getState().contains(getattr(pyatspi, name))


def readable_text(session, root):
    return "\n".join(f"{n.name}\n{n.description}\n{session.text_of(n)}" for n in session.find_all(root, showing=True))


def audit(session, root, screen, values=()):
    """Fails on an unnamed focusable control or on a shown value no accessible text carries."""
    unnamed = [f"{n.getRoleName()} in {n.parent.name!r} in {n.parent.parent.name!r}" for n in session.find_all(
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


def windows(session, process="tallyvue"):
    """tallyvue's visible X windows: menus and dialogs have transient parents, which AT-SPI's
    application node does not list, so their opening is seen here."""
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(session.processes[process].pid)],
                         env=session.env, capture_output=True, text=True).stdout
    return set(out.split())


def press(session, node, done, what, action=None):
    """Runs `node`'s action (default: its first) and waits until it had its effect."""
    session.do_action(node, action or session.actions(node)[0])
    wait_for(done, 10, what)


def walk_screens(session):
    shell = popover(session)
    pages = session.find(shell, name="Provider", role="page tab list")
    tabs = session.find(shell, name="Tab", role="page tab list")

    # Each provider and tab: its tab is selected by its action, and its values can be read.
    for provider, value in (("Claude Code", "42"), ("ChatGPT / Codex", "12"), ("GitHub Copilot", None)):
        tab = session.find(pages, name=provider, role="page tab")
        press(session, tab, lambda: state(tab, "STATE_SELECTED"), f"{provider} to be selected by Press")
        for name in ("Models", "Stats", "Trends", "This Computer"):
            page = session.find(tabs, name=name, role="page tab")
            press(session, page, lambda: state(page, "STATE_SELECTED"), f"the {name} tab to be selected by Press")
            time.sleep(0.3)
            audit(session, shell, f"{provider} / {name}", [value] if value and name == "Models" else [])
            if name == "Trends":
                chart = session.find(shell, name=lambda n: n.startswith("Usage history"), showing=True)
                check("now" in (chart.description or ""), f"the history chart says only {chart.description!r}")
                seven = session.find(shell, name="7 days", showing=True)
                press(session, seven, lambda: session.is_checked(seven), "the 7 days range to be chosen by its action")

    overview = session.find(pages, name="Overview", role="page tab")
    press(session, overview, lambda: state(overview, "STATE_SELECTED"), "the Overview to be selected")
    session.find(shell, name="Claude Code", role="panel", showing=True)  # the card, named by its provider
    audit(session, shell, "Overview", ["5-Hour, 42 percent used"])

    # Settings: the gear stays pressed, a picker entry chosen through AT-SPI really changes it.
    gear = session.find(shell, name="Settings", role="push button")
    press(session, gear, lambda: session.is_checked(gear), "the settings to open", "Toggle")
    audit(session, shell, "Settings")
    label = session.find(shell, name="Show quota as", role="label", showing=True)
    mode = session.find(label.parent, role="combo box")
    remaining = session.find(mode, name="Remaining", role="list item")
    press(session, remaining, lambda: "quotaDisplayMode=remaining" in stored_settings(session),
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
    before = windows(session)
    press(session, history, lambda: windows(session) - before, "the History button's action to open its menu")
    key(session, "Escape")
    wait_for(lambda: not windows(session) - before, 10, "Escape to close the History menu")
    return window


def walk_widget(session):
    program = os.path.join(os.path.dirname(session.tallyvue_path), "tallyvue-widget")
    check(os.path.exists(program), f"{program} is not built")
    env = dict(session.env, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    session._spawn("widget", [program, "--family", "medium"], env=env)
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)
    app = wait_for(lambda: next((a for a in (desktop.getChildAtIndex(i) for i in range(desktop.childCount))
                                 if a is not None and (a.name or "").startswith("tallyvue-widget")), None),
                   20, "tallyvue-widget on the accessibility bus")
    # The walk above switched to Remaining: 57% of the 5-Hour window is left.
    wait_for(lambda: "5-Hour, 57%" in readable_text(session, app), 20, "the widget's values to be readable")
    audit(session, app, "widget")
    # The keyboard reaches its menu.
    window = subprocess.run(["xdotool", "search", "--name", "Tallyvue Usage"], env=session.env,
                            capture_output=True, text=True).stdout.split()
    check(window, "no widget window")
    subprocess.run(["xdotool", "windowfocus", "--sync", window[0]], env=session.env, check=False)
    before = windows(session, "widget")
    for opener in ("shift+F10", "Menu"):
        key(session, opener)
        wait_for(lambda: windows(session, "widget") - before, 10, f"{opener} to open the widget's menu")
        key(session, "Escape")
        wait_for(lambda: not windows(session, "widget") - before, 10, "Escape to close the widget's menu")


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
    wait_for(lambda: "selectedPage=Claude" in stored_settings(session), 10, "Right to select Claude")
    key(session, "Tab", "End")
    wait_for(lambda: "selectedTab=This" in stored_settings(session), 10, "End to select the last tab")

    # A setting, with Space.
    focus_on(session, shell, "Settings")
    key(session, "space")
    focus_on(session, shell, "Monochrome")
    key(session, "space")
    wait_for(lambda: "menuBarMonochrome=true" in stored_settings(session), 10, "Space to turn Monochrome on")
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
    wait_for(lambda: windows(session) - before, 10, "Space to open the History menu")
    key(session, "Escape")
    wait_for(lambda: not windows(session) - before, 10, "Escape to close the History menu")
    # Export: Space opens the menu with its first entry lit, Return chooses it, and the save
    # dialog takes a typed path.
    exported = os.path.join(session.home, "keyboard-export.csv")
    key(session, "space")
    wait_for(lambda: windows(session) - before, 10, "Space to open the History menu again")
    key(session, "Return")
    session.find(name="Export History as CSV", role="dialog", showing=True)
    key(session, "ctrl+a")
    subprocess.run(["xdotool", "type", "--delay", "20", exported], env=session.env, check=True)
    key(session, "Return")
    wait_for(lambda: os.path.exists(exported), 10, "Return in the save dialog to export the history")
    # There is no window manager here to hand the focus back to the window the dialog closed on.
    subprocess.run(["xdotool", "search", "--name", "^Tallyvue Details$", "windowfocus"], env=session.env, check=True)
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
