#!/usr/bin/env bash
# Soak: velmond in driver mode against portio and mapmem on a simulated board, ticking as fast as
# it can with the simulated clock advanced by the 5 s interval each tick, for the equivalent of
# 24 hours (17,280 ticks), the helpers killed and restarted a few times along the way (the monitor
# stopped meanwhile, so that they are gone "between two ticks"). File descriptors and RSS of all
# three processes are sampled; the script reports their slope over the second half of the run
# and fails when a tick is lost, a count grows, or the monitor does not end cleanly.
# Usage: scripts/soak.sh [BUILD_DIR] [TICKS] [RESTARTS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
ticks=${2:-17280}
restarts=${3:-4}
board=$PWD/boards/w83782d.json
work=$(mktemp -d)
export VELMO_DEVICE_DIR=$work/dev XDG_RUNTIME_DIR=$work HOME=$work
mkdir -p "$VELMO_DEVICE_DIR"
helpers=()
cleanup() {
  kill "${helpers[@]}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
[ -n "${SOAK_KEEP:-}" ] && trap 'kill "${helpers[@]}" 2>/dev/null; echo "kept $work"' EXIT

start_helpers() {
  # A killed helper leaves its socket file; wait for the new one, not for that.
  rm -f "$VELMO_DEVICE_DIR/PortIo" "$VELMO_DEVICE_DIR/MAPMEM0"
  helpers=()
  for name in portio mapmem; do
    "$build/drivers/$name/$name" --board "$board" 2>>"$work/$name.log" &
    helpers+=($!)
  done
  for device in PortIo MAPMEM0; do
    for _ in $(seq 100); do [ -S "$VELMO_DEVICE_DIR/$device" ] && break; sleep 0.02; done
  done
}
sample() {  # sample <label> <pid>...: time fds rss per process, one line each
  local now
  now=$(date +%s.%N)
  for pid in "$@"; do
    [ -r "/proc/$pid/status" ] || continue
    local fds rss
    fds=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l)
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null)
    [ -n "$rss" ] && echo "$now $(cat "/proc/$pid/comm") $fds $rss $pid"
  done >>"$work/samples"
}

start_helpers
"$build/monitor/app/velmond" --headless --driver --board "$board" --registry "$work/registry.reg" \
  --ticks "$ticks" --dry-run-power >"$work/events" 2>"$work/velmond.err" &
monitor=$!
# Restarts at evenly spaced points of the run, judged by the ticks written so far.
next=1
while kill -0 "$monitor" 2>/dev/null; do
  sample run "$monitor" "${helpers[@]}"
  done_ticks=$(grep -c '"event":"tick"' "$work/events" || true)
  if [ "$next" -le "$restarts" ] && [ "$done_ticks" -ge $((ticks * next / (restarts + 1))) ]; then
    kill -STOP "$monitor" 2>/dev/null || break
    kill -KILL "${helpers[@]}"
    wait "${helpers[@]}" 2>/dev/null || true
    start_helpers
    kill -CONT "$monitor"
    echo "helpers killed and restarted after tick $done_ticks"
    next=$((next + 1))
  fi
  sleep 0.02
done
set +e
wait "$monitor"
code=$?
set -e

failures=0
got=$(grep -c '"event":"tick"' "$work/events")
echo "ticks: $got of $ticks; exit code $code; $(grep -c '"event":"message"' "$work/events") messages"
{ grep '"event":"message"' "$work/events" || true; } | sort | uniq -c | sed 's/^/  /'
[ "$code" -eq 0 ] || { echo "FAIL: velmond ended with $code"; tail -3 "$work/velmond.err"; failures=1; }
[ "$got" -eq "$ticks" ] || { echo "FAIL: ticks lost"; failures=1; }
# Tick numbers run 1..N without a gap.
grep -o '"event":"tick","tick":[0-9]*' "$work/events" | grep -o '[0-9]*$' |
  awk -v n="$ticks" '$1 != NR {bad=1} END {exit (bad || NR != n)}' ||
  { echo "FAIL: tick numbers are not 1..$ticks"; failures=1; }
tail -1 "$work/events" | grep -q '"event":"exit","code":0,"saved":true' ||
  { echo "FAIL: no clean exit event"; failures=1; }
# Slope of fds and RSS over the second half of each process's samples (least squares, per second
# of run time), and the first and last values; for the helpers, of their longest-lived instance.
for comm in velmond portio mapmem; do
  pid=$(awk -v who="$comm" '$2 == who {print $5}' "$work/samples" | sort | uniq -c | sort -rn |
    awk 'NR == 1 {print $2}')
  awk -v who="$comm" -v pid="$pid" 'BEGIN {n = 0} $2 == who && $5 == pid && $3 > 0 {t[n] = $1; f[n] = $3; r[n] = $4; n++}
    END {
      if (n < 4) { printf "%s: %d samples\n", who, n; exit }
      h = int(n / 2); m = n - h; st = sf = sr = stt = stf = str = 0
      for (i = h; i < n; i++) { st += t[i]; sf += f[i]; sr += r[i] }
      mt = st / m; mf = sf / m; mr = sr / m
      for (i = h; i < n; i++) { dt = t[i] - mt; stt += dt * dt; stf += dt * (f[i] - mf); str += dt * (r[i] - mr) }
      bf = stt ? stf / stt : 0; br = stt ? str / stt : 0
      printf "%s (pid %s): %d samples; fds %d -> %d (slope %.3f/s); RSS %d -> %d kB (slope %.2f kB/s)\n",
        who, pid, n, f[0], f[n - 1], bf, r[0], r[n - 1], br
      if (f[n - 1] > f[h] + 1) exit 1
    }' "$work/samples" || { echo "FAIL: $comm's descriptors grow"; failures=1; }
done
exit $failures
