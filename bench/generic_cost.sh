#!/usr/bin/env bash
# What the monitor costs on the kernel's sensors of a machine of today (the generic board), next
# to lm-sensors' and psensor's cost on the same sensors, in one run:
#
# 1. One-shot: `velmond --headless --ticks 1` against `sensors -j`, side by side in hyperfine
#    runs (10 rounds of all four commands, so that a change in the machine's load falls on all
#    alike); the medians of the wall time and their ratio, and the mean CPU time (user + system)
#    of each. The verdict is the one-shot as it runs every time but the first: its settings file
#    on the disk from an earlier run, read, and left as it is. The first start is shown too, with
#    a fresh settings file every run: on the disk, where it is created and flushed (fsync of file
#    and folder), and on a tmpfs, where the flush costs nothing.
# 2. Idle: `velmond --headless` at its 5 s interval (a real timer, ended with SIGTERM), psensor
#    (5 s sensor and graph interval, lm-sensors its only provider, under Xvfb) and `sleep` as the
#    floor, all running at once; over one window of steady running (after velmond's first timer
#    event and one more interval), per 60 s: the CPU time of every thread (schedstat run time in
#    ns, and utime + stime from /proc/PID/task/*/stat, which counts clock ticks only) and the
#    wake-ups (voluntary and involuntary context switches of every thread). A thread that ends
#    within the window takes its counts along (psensor's GLib worker pool): psensor's figures
#    are a floor. psensor runs without a session bus, as the others do.
#
# The sensors are those of boards/machines/desktop.json (6 chips, ~50 features), written by
# velmo_kernel_tree to a tmpfs and bind-mounted over /sys/class and /sys/devices in a private mount
# namespace that the whole measurement runs in (so hyperfine times the programs, not the mounts).
# Needs root (or unshare -r) for the namespace, hyperfine and lm-sensors; psensor and Xvfb are
# optional (scripts/install-deps.sh installs them; without either, psensor is skipped in one line).
#
# Build first: cmake --build build/release --target velmond velmo_kernel_tree_tool
# Usage: bench/generic_cost.sh [BUILD_DIR [SECONDS [RUNS]]]   defaults: build/release, 60, 200
# Exit status 0 when the one-shot's median wall time (settings kept) is within 1.5x that of
# sensors -j and idle velmond stays within 12 wake-ups and 5 ms of CPU per 60 s; 1 otherwise; 2
# when it cannot run.
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/cost_common.sh

# The measurement proper, inside the namespace: generic_cost.sh --inside WORK BUILD SECONDS RUNS.
if [ "${1:-}" = --inside ]; then
  work=$2 build=$3 seconds=$4 runs=$5
  mount --make-rprivate /
  # The tree in memory, as sysfs is: on the disk its reads would wait on the disk now and then.
  mkdir -p "$work/tree"
  mount -t tmpfs -o size=64m tmpfs "$work/tree"
  "$build/sim/velmo_kernel_tree" --machine boards/machines/desktop.json --out "$work/tree" > /dev/null
  chips=("$work"/tree/sys/class/hwmon/*)
  echo "tree boards/machines/desktop.json (${#chips[@]} chips)"
  mount --bind "$work/tree/sys/class" /sys/class
  mount --bind "$work/tree/sys/devices" /sys/devices
  velmond=$(realpath "$build/monitor/app/velmond")
  board="$work/board.json"
  pids=()
  cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  }
  trap cleanup EXIT

  # The tree must be what both see: velmond maps its CPU temperature from the tree's k10temp.
  mkdir -p "$work/check"
  XDG_CONFIG_HOME="$work/check" XDG_RUNTIME_DIR="$work/check" HOME="$work/check" \
    "$velmond" --headless --board "$board" --ticks 1 --dry-run-power \
    --registry "$work/check/registry.reg" > "$work/check/events" 2> "$work/check/errors" || true
  if ! grep -q '"CPUTEMP":{"present":1,' "$work/check/events"; then
    echo "velmond did not run on the desktop tree's sensors:" >&2
    cat "$work/check/errors" >&2
    exit 2
  fi

  # 1. One-shot. velmond saves its settings on the way out when they changed, and flushes them
  # to the disk (file and folder): a first start always does, a later one-shot does not.
  box="$work/oneshot"
  mkdir -p "$box/disk" "$box/memory"
  mount -t tmpfs -o size=4m tmpfs "$box/memory"
  oneshot() {
    echo "$velmond --headless --board $board --ticks 1 --dry-run-power --registry $1"
  }
  # The settings as every run after the first finds them (the second start completes them).
  for _ in 1 2; do
    XDG_CONFIG_HOME="$box" XDG_RUNTIME_DIR="$box" HOME="$box" "$velmond" --headless \
      --board "$board" --ticks 1 --dry-run-power --registry "$box/disk/kept.reg" \
      > /dev/null 2>&1 || true
  done
  # sensors exits 1 where a chip's adapter has no name (the tree's platform devices): its time
  # still counts. A first start's settings file goes before each of its runs.
  # hyperfine times one command's runs after the other's: in rounds, so that the machine's
  # changing load falls on all four alike; the medians are of all rounds' runs.
  rounds=10
  per_round=$(((runs + rounds - 1) / rounds))
  for round in $(seq "$rounds"); do
    XDG_CONFIG_HOME="$box" XDG_RUNTIME_DIR="$box" HOME="$box" \
      hyperfine -N -i --style none --warmup 3 --runs "$per_round" \
      --export-json "$box/times$round.json" \
      --prepare "true" "$(oneshot "$box/disk/kept.reg")" \
      --prepare "rm -f $box/disk/first.reg" "$(oneshot "$box/disk/first.reg")" \
      --prepare "rm -f $box/memory/first.reg" "$(oneshot "$box/memory/first.reg")" \
      --prepare "true" "sensors -j" > /dev/null 2>&1
  done
  read -r v_med v_cpu f_med f_cpu m_med m_cpu s_med s_cpu < <(python3 - "$box"/times*.json << 'PY'
import json, statistics, sys
rounds = [json.load(open(f))['results'] for f in sys.argv[1:]]
out = []
for i in range(len(rounds[0])):
    times = [t for r in rounds for t in r[i]['times']]
    cpu = statistics.mean(r[i]['user'] + r[i]['system'] for r in rounds)
    out += [statistics.median(times), cpu]
print(*(f"{v * 1000:.4f}" for v in out))
PY
  )
  runs=$((per_round * rounds))
  oneshot_ratio=$(calc "$v_med / $s_med")
  echo "one-shot, median wall time of $runs runs each (mean CPU time, user + system):"
  printf '  velmond --ticks 1, settings kept  %5.2f ms (%.2f ms): %.2fx sensors -j\n' \
    "$v_med" "$v_cpu" "$oneshot_ratio"
  printf '  first start, settings to the disk %5.2f ms (%.2f ms): %.2fx sensors -j\n' \
    "$f_med" "$f_cpu" "$(calc "$f_med / $s_med")"
  printf '  first start, settings on tmpfs    %5.2f ms (%.2f ms): %.2fx sensors -j\n' \
    "$m_med" "$m_cpu" "$(calc "$m_med / $s_med")"
  printf '  sensors -j                        %5.2f ms (%.2f ms); CPU velmond/sensors -j %.2fx\n' \
    "$s_med" "$s_cpu" "$(calc "$v_cpu / $s_cpu")"

  # 2. Idle, the three side by side.
  box="$work/idle"
  mkdir -p "$box/velmond" "$box/psensor/config" "$box/psensor/home"
  XDG_CONFIG_HOME="$box/velmond" XDG_RUNTIME_DIR="$box/velmond" HOME="$box/velmond" \
    "$velmond" --headless --board "$board" --dry-run-power --registry "$box/velmond/registry.reg" \
    > "$box/velmond/events" 2> "$box/velmond/errors" &
  velmond_pid=$!
  pids+=("$velmond_pid")
  sleep infinity &
  sleep_pid=$!
  pids+=("$sleep_pid")
  psensor_pid=""
  if ! command -v psensor > /dev/null || ! command -v Xvfb > /dev/null; then
    echo "psensor or Xvfb missing (scripts/install-deps.sh installs them): psensor skipped"
  else
    # psensor keeps its settings in GSettings: a key file of its own here, the desktop's untouched.
    export GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME="$box/psensor/config"
    for key in sensor-update-interval graph-update-interval; do gsettings set psensor $key 5; done
    # The sensors the tree has and nothing else: no CPU load (gtop2), no disks over D-Bus.
    for provider in gtop2 udisks2 libatasmart hddtemp nvctrl atiadlsdk; do
      gsettings set psensor "provider-$provider-enabled" false
    done
    Xvfb -displayfd 3 -nolisten tcp 3> "$box/psensor/display" 2> /dev/null &
    pids+=($!)
    for _ in $(seq 250); do
      [ -s "$box/psensor/display" ] && break
      sleep 0.02
    done
    [ -s "$box/psensor/display" ] || { echo "Xvfb did not start" >&2; exit 2; }
    # No session bus, as the other programs here have none: psensor then shows a status icon.
    DISPLAY=":$(cat "$box/psensor/display")" HOME="$box/psensor/home" \
      DBUS_SESSION_BUS_ADDRESS=disabled: psensor > /dev/null 2> "$box/psensor/errors" &
    psensor_pid=$!
    pids+=("$psensor_pid")
  fi
  for _ in $(seq 500); do
    grep -q '"event":"timer"' "$box/velmond/events" 2> /dev/null && break
    sleep 0.02
  done
  grep -q '"event":"timer"' "$box/velmond/events" || { echo "velmond did not start" >&2; exit 2; }
  # One interval more: psensor's first reading and window are behind it too.
  sleep 6
  declare -A before after
  measured=("velmond:$velmond_pid" "sleep:$sleep_pid")
  [ -n "$psensor_pid" ] && measured+=("psensor:$psensor_pid")
  for entry in "${measured[@]}"; do
    before[$entry]="$(counters "${entry#*:}") $(stat_cpu_ns "${entry#*:}") $(switches "${entry#*:}")"
  done
  ticks0=$(grep -c '"event":"tick"' "$box/velmond/events" || true)
  sleep "$seconds"
  for entry in "${measured[@]}"; do
    after[$entry]="$(counters "${entry#*:}") $(stat_cpu_ns "${entry#*:}") $(switches "${entry#*:}")"
  done
  ticks1=$(grep -c '"event":"tick"' "$box/velmond/events" || true)
  for entry in "${measured[@]}"; do
    pid=${entry#*:}
    kill -0 "$pid" 2> /dev/null || { echo "${entry%%:*} ended during the window" >&2; exit 2; }
  done
  kill -TERM "$velmond_pid"
  wait "$velmond_pid" 2> /dev/null || true
  grep -q '"event":"exit"' "$box/velmond/events" || echo "velmond did not end on SIGTERM" >&2

  echo "idle over ${seconds} s, 5 s interval, per 60 s (velmond: $((ticks1 - ticks0)) ticks):"
  declare -A wakes cpu_ms
  for entry in "${measured[@]}"; do
    name=${entry%%:*}
    read -r c0 w0 t0 v0 i0 <<< "${before[$entry]}"
    read -r c1 w1 t1 v1 i1 <<< "${after[$entry]}"
    wakes[$name]=$(calc "($w1 - $w0) * 60 / $seconds")
    cpu_ms[$name]=$(calc "($c1 - $c0) * 60 / $seconds / 1e6")
    printf '  %-8s %5.0f wake-ups (%.0f voluntary, %.0f preempted), %8.3f ms CPU' "$name" \
      "${wakes[$name]}" "$(calc "($v1 - $v0) * 60 / $seconds")" \
      "$(calc "($i1 - $i0) * 60 / $seconds")" "${cpu_ms[$name]}"
    printf ' (utime+stime %.0f ms)\n' "$(calc "($t1 - $t0) * 60 / $seconds / 1e6")"
  done
  if [ -n "$psensor_pid" ]; then
    printf '  psensor/velmond: %.1fx wake-ups, %.1fx CPU\n' \
      "$(calc "${wakes[psensor]} / (${wakes[velmond]} > 0 ? ${wakes[velmond]} : 1)")" \
      "$(calc "${cpu_ms[psensor]} / (${cpu_ms[velmond]} > 0 ? ${cpu_ms[velmond]} : 1e-3)")"
  fi

  status=0
  if above "$oneshot_ratio" 1.5; then
    echo "FAIL: the one-shot takes more than 1.5x the wall time of sensors -j"
    status=1
  fi
  if above "${wakes[velmond]}" 12; then
    echo "FAIL: idle velmond exceeds 12 wake-ups per 60 s"
    status=1
  fi
  if above "${cpu_ms[velmond]}" 5; then
    echo "FAIL: idle velmond exceeds 5 ms CPU per 60 s"
    status=1
  fi
  exit $status
fi

build=${1:-build/release}
seconds=${2:-60}
runs=${3:-200}
for program in "$build/monitor/app/velmond" "$build/sim/velmo_kernel_tree"; do
  [ -x "$program" ] || { echo "missing $program: build first" >&2; exit 2; }
done
for tool in hyperfine sensors unshare python3; do
  command -v "$tool" > /dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 2; }
done

unshare -m true 2> /dev/null || { echo "needs root (or unshare -r) for a mount namespace" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo '{"bios_id": "MODERNPC", "chip": "none", "hwmon": true}' > "$work/board.json"
status=0
unshare -m bash bench/generic_cost.sh --inside "$work" "$build" "$seconds" "$runs" || status=$?
exit $status
