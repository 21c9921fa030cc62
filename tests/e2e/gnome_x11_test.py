#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""GNOME Shell 43 on X11 with its AppIndicator extension, read back through the shell itself:
the top bar shows the item's label, a middle click opens the popover under it (a left click
opens the extension's menu), the item comes back within a second when the extension drops it,
and the shell stays idle."""
import time

from desktop_hosts import common_checks, gnome, gnome_click, gnome_frame, gnome_item, shell_eval
from tallyvue_session import check, run, wait_for


def scenario(session):
    common_checks(session, lambda: gnome_frame(session), lambda x, y: gnome_click(session, x, y, 2),
                  cpu_limit=0.40)
    check(gnome_item(session)["menuItems"] >= 4, f"the extension's menu: {gnome_item(session)}")
    # The extension drops an item whose start went wrong on its side; it must not stay away.
    shell_eval(session, "Object.values(Main.panel.statusArea).find(b => b && b._indicator && "
                        "b._indicator.id === 'tallyvue')._indicator.destroy()")
    dropped = time.monotonic()
    wait_for(lambda: gnome_item(session) is None, 5, "the extension to drop the item")
    wait_for(lambda: gnome_frame(session), 5, "the item back on the top bar")
    print(f"back on the top bar {time.monotonic() - dropped:.2f} s after the drop")
    check(time.monotonic() - dropped < 2.5, "the item took more than a second to come back")


if __name__ == "__main__":
    run(scenario, host=gnome())
