#!/usr/bin/env bash
# What reading the chip through its kernel driver costs the machine next to reading its ports:
# runs `velmond --headless` at the 5 s interval on a W83782D board once through the ports and once
# through the kernel source (the board's exported kernel tree bind-mounted over /sys/class and
# /sys/devices in a private mount namespace, as the tests do), and counts over one window of
# steady running (from the end of the frame's creation) velmond's CPU time and wake-ups
# (voluntary and involuntary context switches of every thread). Then runs bench_hwmon's tick
# benchmark in the same session for the kernel/direct tick ratio.
#
# Needs root (or unshare -r) for the mount namespace.
# Usage: bench/hwmon_cost.sh [BUILD_DIR [SECONDS]]   defaults: build/release, 60
# Exit status 0 when kernel mode stays within 12 wake-ups and 5 ms of CPU per 60 s and its tick
# within the direct tick + 1 ms; 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
seconds=${2:-60}
velmond="$build/monitor/app/velmond"
tree_tool="$build/sim/velmo_kernel_tree"
bench="$build/bench/bench_hwmon"
for program in "$velmond" "$tree_tool"; do
  [ -x "$program" ] || { echo "missing $program: build first" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# The board twice: as it is, and handed to the machine's hwmon (comments dropped).
python3 - boards/w83782d.json "$work" <<'PY'
import json, re, sys
text = re.sub(r'^\s*//.*$', '', open(sys.argv[1]).read(), flags=re.M)
board = json.loads(text)
json.dump(board, open(sys.argv[2] + '/ports.json', 'w'))
board['hwmon'] = True
json.dump(board, open(sys.argv[2] + '/kernel.json', 'w'))
PY
"$tree_tool" --board "$work/kernel.json" --out "$work/tree" > /dev/null

# counters PID: "<cpu ns> <wake-ups>" of every thread of one process.
source bench/cost_common.sh


# run_mode MODE: measures one mode, prints its line and sets result_wakes and result_ms.
run_mode() {
  local mode=$1 box="$work/$1"
  mkdir -p "$box/config" "$box/runtime"
  local events="$box/events.jsonl"
  local run=("$velmond" --headless --board "$work/$mode.json" --direct --dry-run-power)
  if [ "$mode" = kernel ]; then
    # unshare and sh exec in turn, so the process measured is velmond itself.
    XDG_CONFIG_HOME="$box/config" XDG_RUNTIME_DIR="$box/runtime" HOME="$box" \
      unshare -m sh -c 'mount --make-rprivate / &&
        mount --bind "$0/sys/class" /sys/class && mount --bind "$0/sys/devices" /sys/devices &&
        exec "$@"' "$work/tree" "${run[@]}" > "$events" 2> "$box/errors" &
  else
    XDG_CONFIG_HOME="$box/config" XDG_RUNTIME_DIR="$box/runtime" HOME="$box" \
      "${run[@]}" > "$events" 2> "$box/errors" &
  fi
  local main=$!
  pids+=("$main")
  for _ in $(seq 500); do
    grep -q '"event":"timer"' "$events" 2>/dev/null && break
    sleep 0.02
  done
  grep -q '"event":"timer"' "$events" || { echo "velmond ($mode) did not start" >&2; exit 2; }
  if [ "$mode" = kernel ] && ! grep -q "through the kernel's w83782d driver" "$box/errors"; then
    echo "velmond did not read through the kernel source:" >&2
    cat "$box/errors" >&2
    exit 2
  fi
  local before after
  before=$(counters "$main")
  sleep "$seconds"
  after=$(counters "$main")
  kill "$main" 2>/dev/null || true
  wait "$main" 2>/dev/null || true
  pids=()
  read -r c0 w0 <<< "$before"
  read -r c1 w1 <<< "$after"
  local ticks
  ticks=$(grep -c '"event":"tick"' "$events" || true)
  result_wakes=$(calc "($w1 - $w0) * 60 / $seconds")
  result_ms=$(calc "($c1 - $c0) * 60 / $seconds / 1e6")
  printf '%-6s: %d ticks, %.0f wake-ups and %.3f ms CPU per 60 s\n' \
    "$mode" "$ticks" "$result_wakes" "$result_ms"
}

echo "board boards/w83782d.json, ${seconds} s of steady running per mode, 5 s interval"
run_mode ports
run_mode kernel
status=0
if above "$result_wakes" 12; then
  echo "FAIL: kernel mode exceeds 12 wake-ups per 60 s"
  status=1
fi
if above "$result_ms" 5; then
  echo "FAIL: kernel mode exceeds 5 ms CPU per 60 s"
  status=1
fi

if [ -x "$bench" ]; then
  json="$work/tick.json"
  "$bench" --benchmark_filter='^BM_Tick_W83782d_Kernel' --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=json > "$json" 2> /dev/null
  median() { bench_median "$json" BM_Tick_W83782d_Kernel "$1"; }
  printf 'bench_hwmon tick: direct %.1f us, kernel/direct %.2fx, kernel - direct %.1f us (median of 3)\n' \
    "$(median direct_us)" "$(median ratio_to_direct)" "$(median extra_us)"
  if above "$(median extra_us)" 1000; then
    echo "FAIL: the kernel tick takes more than the direct tick + 1 ms"
    status=1
  fi
else
  echo "no $bench: tick ratio not measured"
fi
exit $status
