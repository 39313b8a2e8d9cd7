#!/usr/bin/env bash
# Builds Velmo and runs the monitor on the shipped demonstration board: first the board and chip
# identification, then the monitor itself (headless: one JSON event per line). The demo board's
# CPU overheats after 40 simulated seconds; the alarm is confirmed as a person would, and restart
# or shutdown requests are only reported. Extra arguments go to velmond.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target velmond velmo-identify

board=${VELMO_BOARD:-boards/demo.json}
echo "== velmo-identify --board $board"
build/release/monitor/app/velmo-identify --board "$board" || true
echo "== velmond --headless --board $board"
exec build/release/monitor/app/velmond --headless --board "$board" \
  --registry build/release/demo-registry.reg --ticks 20 --confirm-alarm --dry-run-power "$@"
