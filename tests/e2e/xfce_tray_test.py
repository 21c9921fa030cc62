#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A real tray host: xfce4-panel's Status Tray under openbox. The item registers, its Menu
answers GetLayout with the app's entries, "Refresh Now" starts a refresh, and the host stays
idle beside the item (it spun at full speed while the item announced a menu it did not serve)."""
import os

from desktop_hosts import check_idle, xfce
from tallyvue_session import check, run


def scenario(session):
    session.item(timeout=30)
    check(session.menu_path() == "/MenuBar", f"the item announces menu {session.menu_path()!r}")
    check(session.menu_entries() == ["Open Tallyvue", "Refresh Now", "Open Details…", "Settings…", "-", "Quit"],
          f"menu entries: {session.menu_entries()}")
    session.wait_for_refresh()
    session.refresh_now()
    check_idle(session, 0.05, seconds=10)
    os.makedirs(session.artifacts, exist_ok=True)
    session.screenshot(os.path.join(session.artifacts, "xfce-status-tray.png"))


if __name__ == "__main__":
    run(scenario, host=xfce())
