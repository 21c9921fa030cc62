#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The vala sntray host (XFCE, MATE and Budgie share it) beside the item: it reads the menu
and stays idle. While the item announced a menu it did not serve, this host asked for it
thousands of times a second and never showed the item."""
import time

from tallyvue_session import check, run
from xfce_tray_test import panel_pids


def scenario(session):
    session.item(timeout=30)
    check("libsntray" in session.watcher_command_line(), f"the host is {session.watcher_command_line()!r}")
    check(session.menu_entries()[0] == "Open Tallyvue", f"menu entries: {session.menu_entries()}")
    session.wait_for_refresh()
    pids = panel_pids(session.env["DISPLAY"]) + [session.processes["dbus"].pid]
    start = sum(session.cpu_seconds(pid) for pid in pids)
    time.sleep(10)
    used = sum(session.cpu_seconds(pid) for pid in pids) - start
    print(f"sntray host and bus CPU beside the item: {used / 10 * 100:.1f} %")
    check(used / 10 < 0.05, f"the host and bus used {used / 10 * 100:.1f} % CPU beside the item")


if __name__ == "__main__":
    run(scenario, host="xfce-sntray")
