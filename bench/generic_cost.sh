#!/usr/bin/env bash
# What running on the kernel's sensors costs on a desktop of today (boards/machines/desktop.json:
# 6 chips, ~45 features), in one session, with the machine's hwmon tree bind-mounted over
# /sys/class and /sys/devices in a private mount namespace:
#   - one-shot: the wall time of `velmond --headless --ticks 1` on the generic board beside
#     `sensors -j` on the same tree (median of RUNS runs each);
#   - idle: velmond --headless at the 5 s interval and psensor (under xvfb-run, its own interval)
#     over one window of SECONDS of steady running: CPU time and wake-ups (voluntary and
#     involuntary context switches of every thread), per 60 s.
#
# Needs root (or unshare -r) for the mount namespace; psensor and xvfb-run for its line.
# Usage: bench/generic_cost.sh [BUILD_DIR [SECONDS [RUNS]]]   defaults: build/release, 60, 15
# Exit status 0 when the one-shot is within 1.5x `sensors -j` and velmond stays within 12
# wake-ups and 5 ms of CPU per 60 s; 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
seconds=${2:-60}
runs=${3:-15}
velmond="$(pwd)/$build/monitor/app/velmond"
tree_tool="$build/sim/velmo_kernel_tree"
for program in "$velmond" "$tree_tool"; do
  [ -x "$program" ] || { echo "missing $program: build first" >&2; exit 2; }
done

# Memory-backed where there is one: each run saves its settings with fsync, which would measure
# the disk rather than the program.
work=$(mktemp -d -p "$([ -d /dev/shm ] && echo /dev/shm || echo /tmp)")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

"$tree_tool" --machine boards/machines/desktop.json --out "$work/tree" > /dev/null
echo '{"bios_id": "MODERNPC", "chip": "none", "hwmon": true}' > "$work/generic.json"
mkdir -p "$work/config" "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" HOME="$work"

source bench/cost_common.sh

# in_tree PROGRAM ARGS...: runs the program in a private mount namespace over the tree (unshare
# and sh exec in turn, so that run in the background as `in_tree ... &`, $! is the program).
in_tree() {
  exec unshare -m sh -c 'mount --make-rprivate / &&
    mount --bind "$0/sys/class" /sys/class && mount --bind "$0/sys/devices" /sys/devices &&
    exec "$@"' "$work/tree" "$@"
}

# The one-shots, timed inside one namespace so that neither pays for making it.
(in_tree bash -c '
  runs=$1 velmond=$2 board=$3
  time_ns() { local t0 t1; t0=$(date +%s%N); "$@" > /dev/null 2>&1 || true; t1=$(date +%s%N);
              echo $((t1 - t0)); }
  for _ in $(seq "$runs"); do
    echo "sensors $(time_ns sensors -j)"
    rm -f "$HOME/oneshot.reg"
    echo "velmond $(time_ns "$velmond" --headless --board "$board" --registry "$HOME/oneshot.reg" \
                     --ticks 1 --dry-run-power --direct)"
  done' _ "$runs" "$velmond" "$work/generic.json") > "$work/oneshot"
median_ms() {
  grep "^$1 " "$work/oneshot" | awk '{ print $2 / 1e6 }' | sort -n |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
sensors_ms=$(median_ms sensors)
velmond_ms=$(median_ms velmond)
ratio=$(calc "$velmond_ms / $sensors_ms")
printf 'one-shot (median of %d): velmond --ticks 1 %.2f ms, sensors -j %.2f ms, ratio %.2f\n' \
  "$runs" "$velmond_ms" "$sensors_ms" "$ratio"
# The run's events say it ran on the kernel's sensors (board code 10).
(in_tree "$velmond" --headless --board "$work/generic.json" --registry "$work/check.reg" \
  --ticks 1 --dry-run-power --direct) > "$work/check.events" 2> /dev/null || true
grep -q '"mbModel":10' "$work/check.events" ||
  { echo "velmond did not run on the kernel's sensors:" >&2; head -5 "$work/check.events" >&2; exit 2; }

# measure NAME PID: the process's cost over the window, per 60 s; sets result_wakes, result_ms.
measure() {
  local before after
  before=$(counters "$2")
  sleep "$seconds"
  after=$(counters "$2")
  read -r c0 w0 <<< "$before"
  read -r c1 w1 <<< "$after"
  result_wakes=$(calc "($w1 - $w0) * 60 / $seconds")
  result_ms=$(calc "($c1 - $c0) * 60 / $seconds / 1e6")
  printf '%-8s: %.0f wake-ups and %.3f ms CPU per 60 s\n' "$1" "$result_wakes" "$result_ms"
}

in_tree "$velmond" --headless --board "$work/generic.json" --registry "$work/idle.reg" \
  --dry-run-power --direct > "$work/idle.events" 2> "$work/idle.errors" &
main=$!
pids+=("$main")
for _ in $(seq 500); do
  grep -q '"event":"timer"' "$work/idle.events" 2>/dev/null && break
  sleep 0.02
done
grep -q '"event":"timer"' "$work/idle.events" || { echo "velmond did not start" >&2; exit 2; }
sleep 1
measure velmond "$main"
velmond_wakes=$result_wakes velmond_cpu=$result_ms
kill "$main" 2>/dev/null || true
wait "$main" 2>/dev/null || true
pids=()

if command -v psensor > /dev/null && command -v xvfb-run > /dev/null; then
  in_tree xvfb-run -a psensor -n > /dev/null 2>&1 &
  wrapper=$!
  pids+=("$wrapper")
  psensor_pid=""
  for _ in $(seq 250); do
    psensor_pid=$(pgrep -x psensor -s 0 | head -1 || true)
    [ -n "$psensor_pid" ] && break
    sleep 0.04
  done
  if [ -n "$psensor_pid" ]; then
    pids+=("$psensor_pid")
    sleep 5  # past its start
    measure psensor "$psensor_pid"
  else
    echo "psensor did not start"
  fi
else
  echo "no psensor or xvfb-run: psensor not measured"
fi

status=0
if above "$ratio" 1.5; then
  echo "FAIL: the one-shot takes more than 1.5x sensors -j"
  status=1
fi
if above "$velmond_wakes" 12; then
  echo "FAIL: velmond exceeds 12 wake-ups per 60 s"
  status=1
fi
if above "$velmond_cpu" 5; then
  echo "FAIL: velmond exceeds 5 ms CPU per 60 s"
  status=1
fi
exit $status
