#!/bin/sh
# The 32-bit and the 64-bit build give the same bytes for everything stored or sent: the same
# event stream and settings file from the same board, each build's monitor taking over the
# other's settings file, and each build's monitor served by the other build's helpers.
# cross_arch_test.sh THIS_BUILD OTHER_BUILD SOURCE_DIR
set -u
this=$1
other=$2
source=$3
for build in "$this" "$other"; do
  [ -x "$build/monitor/app/velmond" ] || { echo "skipped: no velmond in $build"; exit 77; }
done
work=$(mktemp -d)
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
stop_helpers() {  # the helpers a driver-mode run spawned for device folder $1
  for environ in /proc/[0-9]*/environ; do
    if tr '\0' '\n' <"$environ" 2>/dev/null | grep -qx "VELMO_DEVICE_DIR=$1"; then
      pid=${environ#/proc/}
      kill "${pid%/environ}" 2>/dev/null
    fi
  done
}
trap 'stop_helpers "$work/dev-a"; stop_helpers "$work/dev-b"; rm -rf "$work"' EXIT

board=$source/tests/data/headless/demo.board.json
# run BUILD NAME REGISTRY [ARGS...]: velmond of BUILD on the demo board; events to NAME.events
run() {
  build=$1 name=$2 registry=$3
  shift 3
  mkdir -p "$work/$name"
  env XDG_RUNTIME_DIR="$work/$name" HOME="$work/$name" \
    "$build/monitor/app/velmond" --headless --board "$board" --registry "$registry" \
    --ticks 20 --confirm-alarm --dry-run-power "$@" >"$work/$name.events" 2>"$work/$name.err" ||
    fail "$name: exit code $?"
}

# The same board, fresh settings: the same events and the same settings file.
run "$this" this "$work/this.reg"
run "$other" other "$work/other.reg"
cmp -s "$work/this.events" "$work/other.events" || fail "event streams differ"
cmp -s "$work/this.reg" "$work/other.reg" || fail "settings files differ"
grep -q '"event":"alarm-dialog"' "$work/this.events" || fail "the demo raised no alarm"

# Each takes over the other's file, with values of its own planted: both write the same bytes.
for pair in "this other" "other this"; do
  set -- $pair
  reader=$1 writer=$2
  eval readerBuild=\$$reader
  sed 's/"bAlarm"=hex:01,00,00,00/"bAlarm"=hex:00,00,00,00/' "$work/$writer.reg" \
    >"$work/planted-$writer.reg"
  cp "$work/planted-$writer.reg" "$work/by-$reader.reg"
  cp "$work/planted-$writer.reg" "$work/by-$writer.reg"
  eval writerBuild=\$$writer
  run "$readerBuild" "read-$reader" "$work/by-$reader.reg"
  run "$writerBuild" "read-$writer" "$work/by-$writer.reg"
  cmp -s "$work/by-$reader.reg" "$work/by-$writer.reg" ||
    fail "$reader saves $writer's file differently from $writer"
  grep -q '"bAlarm":0' "$work/read-$reader.events" || fail "$reader did not take $writer's values"
done

# Each build's monitor against the other build's helpers: the events of the direct run.
mkdir -p "$work/dev-a" "$work/dev-b"
VELMO_DEVICE_DIR="$work/dev-a" VELMO_HELPER_DIR="$other/drivers/portio:$other/drivers/mapmem" \
  run "$this" this-driver "$work/this-driver.reg" --driver
stop_helpers "$work/dev-a"
VELMO_DEVICE_DIR="$work/dev-b" VELMO_HELPER_DIR="$this/drivers/portio:$this/drivers/mapmem" \
  run "$other" other-driver "$work/other-driver.reg" --driver
stop_helpers "$work/dev-b"
cmp -s "$work/this-driver.events" "$work/this.events" ||
  fail "this monitor with the other build's helpers gives other events"
cmp -s "$work/other-driver.events" "$work/this.events" ||
  fail "the other monitor with this build's helpers gives other events"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "same bytes in both builds: events, settings files, helper protocol"
