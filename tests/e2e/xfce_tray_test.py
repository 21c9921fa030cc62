#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A real tray host: xfce4-panel's Status Tray under openbox. The item registers, its Menu
answers GetLayout with the app's entries, "Refresh Now" starts a refresh, and the host stays
idle beside the item (it spun at full speed while the item announced a menu it did not serve)."""
import os
import time

from tallyvue_session import CLAUDE_PATH, check, run, wait_for


def panel_pids(display):
    """This session's panel and its plugin wrapper processes (other sessions may run panels)."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as file:
                command = file.read().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if "xfce4-panel" not in command and "xfce4/panel/wrapper" not in command:
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as file:
                if f"DISPLAY={display}".encode() in file.read().split(b"\0"):
                    pids.append(int(entry))
        except OSError:
            continue
    return pids


def scenario(session):
    service, _ = session.item(timeout=30)
    check(session.menu_path() == "/MenuBar", f"the item announces menu {session.menu_path()!r}")
    check(session.menu_entries() == ["Open Tallyvue", "Refresh Now", "Open Details…", "Settings…", "-", "Quit"],
          f"menu entries: {session.menu_entries()}")
    session.wait_for_refresh()

    before = session.server.count(CLAUDE_PATH)
    session.menu_click("Refresh Now")
    wait_for(lambda: session.server.count(CLAUDE_PATH) > before, 20, "a refresh after Refresh Now")

    # The host beside the item, idle: under 5 % CPU over 10 s.
    pids = panel_pids(session.env["DISPLAY"])
    check(pids, "no xfce4-panel process found")
    start = sum(session.cpu_seconds(pid) for pid in pids)
    time.sleep(10)
    used = sum(session.cpu_seconds(pid) for pid in pids) - start
    print(f"xfce4-panel CPU beside the item: {used / 10 * 100:.1f} %")
    check(used / 10 < 0.05, f"the panel used {used / 10 * 100:.1f} % CPU beside the item")

    if session.artifacts:
        os.makedirs(session.artifacts, exist_ok=True)
        session.screenshot(os.path.join(session.artifacts, "xfce-status-tray.png"))


if __name__ == "__main__":
    run(scenario, host="xfce-systray")
