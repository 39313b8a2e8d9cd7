#!/usr/bin/env bash
# A quick one-shot next to the peer tool: `velmond --headless --board boards/demo.json --ticks 1`
# against `sensors -j`, side by side in one hyperfine run, and velmond's peak RSS. The settings
# file lives in a temporary folder that the warm-up runs have already written, as a user's has.
#
# Usage: bench/oneshot.sh [BUILD_DIR [RUNS]]   (defaults: build/release, 100)
# Exit status 0 when velmond takes at most 2x the wall time of sensors -j and under 8 MB of RSS.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
runs=${2:-100}
velmond="$build/monitor/app/velmond"
[ -x "$velmond" ] || { echo "missing $velmond: build first" >&2; exit 2; }
for tool in hyperfine sensors /usr/bin/time; do
  command -v "$tool" > /dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
oneshot="$velmond --headless --board boards/demo.json --ticks 1 --dry-run-power"

# sensors exits 1 where no sensor is found (containers, virtual machines): its time still counts.
hyperfine -N -i --warmup 10 --runs "$runs" --export-json "$work/times.json" \
  "$oneshot" "sensors -j"
mean() {
  grep -A8 "\"command\": \"$1\"" "$work/times.json" | grep '"mean"' | head -1 |
    awk -F': ' '{ sub(/,$/, "", $2); print $2 * 1000 }'
}
velmond_ms=$(mean "$oneshot")
sensors_ms=$(mean "sensors -j")
rss_kb=$(/usr/bin/time -f %M $oneshot 2>&1 > /dev/null | tail -1)
ratio=$(awk "BEGIN { print $velmond_ms / $sensors_ms }")
printf 'one-shot: velmond %.2f ms, sensors -j %.2f ms (%.2fx); velmond peak RSS %.1f MB\n' \
  "$velmond_ms" "$sensors_ms" "$ratio" "$(awk "BEGIN { print $rss_kb / 1024 }")"
awk "BEGIN { exit !($ratio <= 2 && $rss_kb < 8192) }" || { echo "FAIL"; exit 1; }
