#!/usr/bin/env bash
# Builds Velmo and runs the monitor on the shipped demonstration board: first the board and chip
# identification, then the monitor itself. Where a display exists (DISPLAY or WAYLAND_DISPLAY) it
# is the desktop program: the icon in the notification area (or the window, where there is none)
# in real time. Elsewhere it runs headless: one JSON event per line for 20 ticks, the alarm
# confirmed as a person would. The demo board's CPU overheats after 40 seconds and cools down
# from 60 on; restart and shutdown requests are only reported. Extra arguments go to velmond.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target velmond velmond-gui velmo-identify

board=${VELMO_BOARD:-boards/demo.json}
echo "== velmo-identify --board $board"
build/release/tools/velmo-identify --board "$board" || true
registry=build/release/demo-registry.reg
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== velmond --board $board"
  exec build/release/monitor/app/velmond --board "$board" --registry "$registry" --dry-run-power \
    "$@"
fi
echo "== velmond --headless --board $board"
exec build/release/monitor/app/velmond --headless --board "$board" \
  --registry "$registry" --ticks 20 --confirm-alarm --dry-run-power "$@"
