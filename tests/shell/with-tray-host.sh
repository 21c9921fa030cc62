#!/usr/bin/env bash
# Runs a command on a private Xvfb display with an XEmbed tray host (trayer) and no session bus.
# Used by ctest as: with-tray-host.sh COMMAND [ARGS...]
set -euo pipefail
if [ -z "${TALLYVUE_IN_XVFB:-}" ]; then
    export TALLYVUE_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb TALLYVUE_TRAY_HOST=1 DBUS_SESSION_BUS_ADDRESS=disabled:
trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 32 >/dev/null 2>&1 &
tray=$!
trap 'kill $tray 2>/dev/null || true' EXIT
for _ in $(seq 200); do
    xdotool search --class trayer >/dev/null 2>&1 && break
    sleep 0.1
done
"$@"
