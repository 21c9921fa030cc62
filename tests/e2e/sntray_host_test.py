#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The vala sntray host (XFCE, MATE and Budgie share it) beside the item: it reads the menu
and stays idle, and so does the bus. While the item announced a menu it did not serve, this
host asked for it thousands of times a second and never showed the item."""
from desktop_hosts import check_idle, xfce
from tallyvue_session import check, run


def scenario(session):
    session.item(timeout=30)
    check("libsntray" in session.watcher_command_line(), f"the host is {session.watcher_command_line()!r}")
    check(session.menu_entries()[0] == "Open Tallyvue", f"menu entries: {session.menu_entries()}")
    session.wait_for_refresh()
    check_idle(session, 0.05, seconds=10, also=[session.processes["dbus"].pid])


if __name__ == "__main__":
    run(scenario, host=xfce(sntray=True))
