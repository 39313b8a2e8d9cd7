#!/bin/sh
# Runs one fuzz target for a bounded time on a fresh corpus in a temporary directory, seeded with
# a few well-formed sessions. Exit 77 (skipped) when the target was not built.
# Usage: run_fuzzer.sh FUZZER SECONDS
set -eu
fuzzer=$1
seconds=$2
if [ ! -x "$fuzzer" ]; then
  echo "no fuzz target $fuzzer (clang with libFuzzer missing?)"
  exit 77
fi
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
# Sessions: tag byte, length byte, datagram (code, capacity, input words; little-endian).
# OPEN {0x295,1,1}, READ {1,0}, WRITE {1,0,0x4e}, CLOSE {1}, then a disconnect of connection 0.
printf '\000\024\000\000\042\000\004\000\000\000\225\002\000\000\001\000\000\000\001\000\000\000\000\020\004\000\042\000\004\000\000\000\001\000\000\000\000\000\000\000\000\024\010\000\042\000\000\000\000\000\001\000\000\000\000\000\000\000\116\000\000\000\000\014\014\000\042\000\000\000\000\000\001\000\000\000\200' \
  > "$corpus/session"
# A batch (bank select: write, read, derived write) with a long-length tag, then on connection 1
# a batch whose last write is to a refused port.
printf '\040\074\000\004\040\042\000\004\000\000\000\003\000\000\000\225\002\001\001\116\000\000\000\000\000\000\000\000\000\000\000\226\002\001\000\000\000\000\000\000\000\000\000\000\000\000\000\226\002\001\002\002\000\000\000\370\000\000\000\001\000\000\000\041\074\000\004\040\042\000\004\000\000\000\003\000\000\000\225\002\001\001\116\000\000\000\000\000\000\000\000\000\000\000\226\002\001\000\000\000\000\000\000\000\000\000\000\000\000\000\144\000\001\001\376\000\000\000\000\000\000\000\000\000\000\000' \
  > "$corpus/batch"
# mapmem: window 0xFEFF0 of 65 bytes, MAP, MAP again, UNMAP, MAP on connection 1.
printf '\360\357\017\000\001\000\010\000\000\042\000\004\000\000\000\000\010\000\000\042\000\004\000\000\000\000\010\004\000\042\000\000\000\000\000\001\010\000\000\042\000\004\000\000\000' \
  > "$corpus/window"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
  -error_exitcode=1 \
  "$corpus"
