#!/usr/bin/env bash
# What driver mode costs the machine next to direct mode: runs `velmond --headless` on a
# simulated board in both modes at the 5 s interval, and counts, over one window of steady
# running (from the end of the frame's creation), the CPU time and the wake-ups (voluntary and
# involuntary context switches of every thread) of velmond and, in driver mode, of both helpers.
# Then runs bench_driver's tick benchmark in the same session for the driver/direct tick ratio.
#
# Usage: bench/driver_cost.sh [BUILD_DIR [SECONDS [BOARD]]]
#   defaults: build/release, 60, boards/w83782d.json
# Exit status 0 when driver mode stays within direct + 120 wake-ups and 10 ms of CPU per 60 s
# and its tick within 3x the direct tick; 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
seconds=${2:-60}
board=${3:-boards/w83782d.json}
velmond="$build/monitor/app/velmond"
bench="$build/bench/bench_driver"
for program in "$velmond" "$build/drivers/portio/portio" "$build/drivers/mapmem/mapmem"; do
  [ -x "$program" ] || { echo "missing $program: build first" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# counters PID: "<cpu ns> <wake-ups>" of every thread of one process.
source bench/cost_common.sh

# The helpers velmond spawned for one run: found by the device folder in their environment.
helpers_of() {
  local dir=$1 p
  for p in /proc/[0-9]*; do
    case $(cat "$p/comm" 2>/dev/null) in
      portio | mapmem)
        tr '\0' '\n' < "$p/environ" 2>/dev/null | grep -qx "VELMO_DEVICE_DIR=$dir" &&
          echo "${p#/proc/}"
        ;;
    esac
  done
}

# run_mode MODE: measures one mode, prints its lines and sets result_wakes and result_ms.
run_mode() {
  local mode=$1 box="$work/$1"
  mkdir -p "$box/config" "$box/runtime" "$box/dev"
  local events="$box/events.jsonl"
  XDG_CONFIG_HOME="$box/config" XDG_RUNTIME_DIR="$box/runtime" HOME="$box" \
    VELMO_DEVICE_DIR="$box/dev" \
    VELMO_HELPER_DIR="$build/drivers/portio:$build/drivers/mapmem" \
    "$velmond" --headless --board "$board" "--$mode" --dry-run-power > "$events" &
  local main=$!
  pids+=("$main")
  # Creation ends with the timer being started.
  for _ in $(seq 500); do
    grep -q '"event":"timer"' "$events" 2>/dev/null && break
    sleep 0.02
  done
  grep -q '"event":"timer"' "$events" || { echo "velmond ($mode) did not start" >&2; exit 2; }
  local procs=("$main")
  if [ "$mode" = driver ]; then
    mapfile -t helper_pids < <(helpers_of "$box/dev")
    procs+=("${helper_pids[@]}")
    pids+=("${helper_pids[@]}")
  fi
  local before=() after=() i cpu=0 wakes=0
  for i in "${!procs[@]}"; do before[i]=$(counters "${procs[i]}"); done
  sleep "$seconds"
  for i in "${!procs[@]}"; do after[i]=$(counters "${procs[i]}"); done
  for i in "${!procs[@]}"; do
    read -r c0 w0 <<< "${before[i]}"
    read -r c1 w1 <<< "${after[i]}"
    cpu=$((cpu + c1 - c0))
    wakes=$((wakes + w1 - w0))
    printf '  %-7s pid %-7s cpu %8.3f ms  wake-ups %6d\n' \
      "$(cat /proc/"${procs[i]}"/comm 2>/dev/null || echo gone)" "${procs[i]}" \
      "$(calc "($c1 - $c0) / 1e6")" "$((w1 - w0))"
  done
  for pid in "${procs[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait "$main" 2>/dev/null || true
  pids=()
  local ticks
  ticks=$(grep -c '"event":"tick"' "$events" || true)
  # Per 60 s: wake-ups, CPU in ms.
  result_wakes=$(calc "$wakes * 60 / $seconds")
  result_ms=$(calc "$cpu * 60 / $seconds / 1e6")
  printf '%s: %d process(es), %d ticks, %.0f wake-ups and %.3f ms CPU per 60 s\n' \
    "$mode" "${#procs[@]}" "$ticks" "$result_wakes" "$result_ms"
}


echo "board $board, ${seconds} s of steady running per mode, 5 s interval"
run_mode direct
direct_wakes=$result_wakes
run_mode driver
driver_wakes=$result_wakes
driver_ms=$result_ms

status=0
if above "$driver_wakes" "$direct_wakes + 120"; then
  echo "FAIL: driver mode exceeds direct + 120 wake-ups per 60 s"
  status=1
fi
if above "$driver_ms" 10; then
  echo "FAIL: driver mode exceeds 10 ms CPU per 60 s"
  status=1
fi

if [ -x "$bench" ]; then
  json="$work/tick.json"
  "$bench" --benchmark_filter='^BM_Tick_Driver' --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=json > "$json" 2> /dev/null
  median() { bench_median "$json" BM_Tick_Driver "$1"; }
  ratio=$(median ratio_to_direct)
  direct_ns=$(median direct_ns)
  printf 'bench_driver tick: direct %.1f us, driver/direct %.2fx (median of 3)\n' \
    "$(calc "$direct_ns / 1000")" "$ratio"
  if above "$ratio" 3; then
    echo "FAIL: the driver tick takes more than 3x the direct tick"
    status=1
  fi
else
  echo "no $bench: tick ratio not measured"
fi
exit $status
