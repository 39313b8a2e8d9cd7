#!/usr/bin/env bash
# The test command.
#   scripts/test.sh        the formatting check, the x86-64 suite (build/release) and the suite
#                          built with -fsanitize=address,undefined (build/asan), leaving out the
#                          ctest labels slow, fuzz and package
#   scripts/test.sh --all  also what is slow or changes the machine: the crash-safety run (slow),
#                          the fuzz targets built and run briefly (fuzz), the Debian package built
#                          and checked (package), and the 32-bit x86 suite (build/i386, after
#                          adding the architecture i386 to dpkg for its libraries) with the byte
#                          comparison against the x86-64 build (cross)
# Each step prints how long it took. Packages that are missing are installed first.
set -euo pipefail
cd "$(dirname "$0")/.."

all=false
case "${1:-}" in
  --all) all=true ;;
  "") ;;
  *)
    echo "usage: $0 [--all]" >&2
    exit 2
    ;;
esac

started=$SECONDS
step_started=$SECONDS
step() {  # step NAME: closes the step before, opens NAME
  if [ -n "${step_name:-}" ]; then
    echo "== $step_name: $((SECONDS - step_started)) s"
  fi
  step_name=$1
  step_started=$SECONDS
  [ -z "$step_name" ] || echo "== $step_name"
}

if $all; then
  scripts/install-deps.sh --i386
else
  scripts/install-deps.sh
fi

step "formatting"
mapfile -t sources < <(find monitor drivers setup sim tests bench tools \
  \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | sort)
clang-format --dry-run --Werror "${sources[@]}"

jobs=2
quick_only=(-LE 'slow|fuzz|package')
$all && quick_only=()
configure() {  # configure DIR CMAKE_ARGS...
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DVELMO_WERROR=ON "$@" >/dev/null
}
run_tests() {  # run_tests DIR CTEST_ARGS...
  local dir=$1
  shift
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --timeout 600 "$@")
}
suite() {  # suite DIR CMAKE_ARGS...: builds DIR and runs its tests
  local dir=$1
  step "build $dir"
  configure "$@"
  cmake --build "$dir" -j"$jobs"
  if $all && ninja -C "$dir" -t query velmo_fuzzers >/dev/null 2>&1; then
    step "build the fuzz targets in $dir"
    cmake --build "$dir" -j"$jobs" --target velmo_fuzzers
  fi
  step "test $dir"
  run_tests "$dir" "${quick_only[@]}"
}

suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
  suite build/asan -DCMAKE_BUILD_TYPE=Debug -DVELMO_SANITIZE=ON -DVELMO_BENCH=OFF

if $all; then
  # The 32-bit suite without the sanitizers (the suite above covers them for the same code).
  # Where this kernel runs no 32-bit programs the toolchain file picks qemu-i386 for the test
  # programs, and the programs the tests start (velmond, the helpers, kiru) reach it through
  # binfmt_misc, which is set up here if no rule for such programs is there yet.
  i386_args=(-DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DVELMO_BENCH=OFF -DVELMO_PEER_BUILD="$PWD/build/release")
  step "build build/i386"
  configure build/i386 "${i386_args[@]}"
  emulator=$(sed -n 's/^VELMO_I386_EMULATOR:INTERNAL=//p' build/i386/CMakeCache.txt)
  native=$(sed -n 's/^VELMO_I386_NATIVE:BOOL=//p' build/i386/CMakeCache.txt)
  if [ -z "$emulator" ]; then
    echo "i386 suite: native"
  else
    echo "i386 suite: under qemu-i386 ($emulator)"
    [ "$native" = ON ] || scripts/i386-binfmt.sh "$emulator"
  fi
  cmake --build build/i386 -j"$jobs"
  step "test build/i386"
  run_tests build/i386
fi
step ""
echo "all test suites passed in $((SECONDS - started)) s"
