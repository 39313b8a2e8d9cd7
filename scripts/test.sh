#!/usr/bin/env bash
# Builds Velmo and runs every test: a normal build, a build with the address and undefined-
# behaviour sanitizers, the 32-bit x86 build (cross-compiled, run natively, and compared byte for
# byte with the normal build), and a check that clang-format would change nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --i386

echo "== formatting"
mapfile -t sources < <(find monitor drivers setup sim tests bench tools \
  \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | sort)
clang-format --dry-run --Werror "${sources[@]}"

jobs=2
run_suite() {
  local dir=$1
  shift
  echo "== build $dir"
  cmake -S . -B "$dir" -G Ninja -DVELMO_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "== test $dir"
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --timeout 600)
}

run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
  run_suite build/asan -DCMAKE_BUILD_TYPE=Debug -DVELMO_SANITIZE=ON -DVELMO_BENCH=OFF
# i386: the whole suite without the sanitizers (the suite above covers them for the same code).
run_suite build/i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMO_BENCH=OFF -DVELMO_PEER_BUILD="$PWD/build/release"
echo "all test suites passed"
