#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs inside the fresh Debian root of scripts/package-test, as root, once the package is
# installed without its recommendations: first what needs nothing else, then, with the test
# tools added, the manual page, the bash completion and the tray item.
set -eu
export LC_ALL=C.UTF-8 HOME=/root
check() { echo "package-test: $*"; }

check "tallyvue-cli --version: $(tallyvue-cli --version)"
tallyvue --help | grep -q '^Usage: tallyvue '
check "tallyvue --help and tallyvue-widget --help work without a display"
tallyvue-widget --help | grep -q '^Usage: tallyvue-widget '

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    man-db xvfb xauth python3-dbus python3-gi >/dev/null
check "man -w tallyvue-cli: $(man -w tallyvue-cli)"
man -w tallyvue >/dev/null && man -w tallyvue-widget >/dev/null

completion=$(bash -c '. /usr/share/bash-completion/completions/tallyvue-cli
    COMP_WORDS=(tallyvue-cli re); COMP_CWORD=1; _tallyvue_cli; echo "${COMPREPLY[*]}"')
[ "$completion" = report ] || { echo "package-test: tallyvue-cli re<TAB> gave '$completion'" >&2; exit 1; }
check "tallyvue-cli re<TAB> completes to report"

# The tray item: a private session bus with a stand-in watcher, tallyvue on a virtual display,
# until the watcher lists its item.
mkdir -p -m 0700 /tmp/runtime
export XDG_RUNTIME_DIR=/tmp/runtime
dbus-run-session -- sh -c '
    python3 -u /tmp/fake_watcher.py >/tmp/watcher.out 2>&1 &
    watcher=$!
    for i in $(seq 50); do grep -q ready /tmp/watcher.out && break; sleep 0.1; done
    xvfb-run -a sh -c "echo \$\$ >/tmp/tallyvue.pid; exec tallyvue" >/tmp/tallyvue.log 2>&1 &
    session=$!
    items=""
    for i in $(seq 60); do
        items=$(python3 -c "import dbus; w = dbus.SessionBus().get_object(\"org.kde.StatusNotifierWatcher\", \"/StatusNotifierWatcher\"); print(\" \".join(w.Get(\"org.kde.StatusNotifierWatcher\", \"RegisteredStatusNotifierItems\", dbus_interface=dbus.PROPERTIES_IFACE)))")
        [ -n "$items" ] && break
        sleep 0.5
    done
    # Quitting tallyvue ends xvfb-run, which stops its X server.
    app=$(cat /tmp/tallyvue.pid 2>/dev/null || true)
    kill $app 2>/dev/null || true
    for i in $(seq 50); do kill -0 $session 2>/dev/null || break; sleep 0.2; done
    kill -KILL $app 2>/dev/null || true
    wait $session 2>/dev/null || true
    kill $watcher 2>/dev/null || true
    if [ -z "$items" ]; then
        echo "package-test: tallyvue registered no tray item in 30 s; its output:" >&2
        cat /tmp/tallyvue.log >&2
        exit 1
    fi
    echo "package-test: tallyvue registered its tray item ($items)"
'
