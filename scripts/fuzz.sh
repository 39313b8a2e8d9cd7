#!/usr/bin/env bash
# Builds every libFuzzer target with clang and runs each for a while on a fresh corpus seeded from
# the test data, then prints the executions and findings of each run. A finding (crash, timeout,
# leak, sanitizer report) makes the script fail and leaves the input in build/fuzz/findings.
# Usage: scripts/fuzz.sh [SECONDS]   (default 600 each, as the release checks want)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
scripts/install-deps.sh
out=build/fuzz
mkdir -p "$out/findings"

build() {  # build <source dir> <binary dir>
  cmake -S "$1" -B "$2" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >/dev/null
  cmake --build "$2" -j2
}
build drivers/fuzz "$out/drivers"
build tests/fuzz "$out/parsers"

run() {  # run <name> <runner> <fuzzer> <seed dirs...>
  local name=$1 runner=$2 fuzzer=$3
  shift 3
  echo "== $name: $seconds s"
  local log="$out/$name.log"
  local top=$PWD
  if ! (cd "$out/findings" && sh "$top/$runner" "$top/$fuzzer" "$seconds" "${@/#/$top/}") \
      >"$log" 2>&1; then
    tail -n 30 "$log"
    echo "== $name: FOUND SOMETHING (input in $out/findings, log in $log)"
    return 1
  fi
  grep -E "stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" "$log"
}
status=0
run portio drivers/fuzz/run_fuzzer.sh "$out/drivers/fuzz_portio" || status=1
run mapmem drivers/fuzz/run_fuzzer.sh "$out/drivers/fuzz_mapmem" || status=1
run registry tests/fuzz/run_fuzzer.sh "$out/parsers/fuzz_registry" tests/data/registry || status=1
run board tests/fuzz/run_fuzzer.sh "$out/parsers/fuzz_board" boards tests/data/boards \
  tests/data/headless || status=1
run device_server tests/fuzz/run_fuzzer.sh "$out/parsers/fuzz_device_server" || status=1
run driver_replies tests/fuzz/run_fuzzer.sh "$out/parsers/fuzz_driver_replies" || status=1
exit $status
