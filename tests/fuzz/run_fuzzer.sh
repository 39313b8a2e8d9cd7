#!/bin/sh
# Runs one fuzz target for a bounded time on a fresh corpus in a temporary directory, seeded with
# the files of the given folders. Exit 77 (skipped) when the target was not built, 1 when it
# found a crash (libFuzzer's own code for that is 77, which would read as "skipped").
# Usage: run_fuzzer.sh FUZZER SECONDS [SEED_DIR...]
set -eu
fuzzer=$1
seconds=$2
shift 2
if [ ! -x "$fuzzer" ]; then
  echo "no fuzz target $fuzzer (clang with libFuzzer missing?)"
  exit 77
fi
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
for dir in "$@"; do
  for seed in "$dir"/*; do
    [ -f "$seed" ] && cp "$seed" "$corpus/$(basename "$seed")"
  done
done
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=1048576 \
  -error_exitcode=1 \
  -print_final_stats=1 "$corpus"
