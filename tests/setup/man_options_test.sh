#!/bin/sh
# Every option a program's --help lists is described in its manual page.
# man_options_test.sh SOURCE_DIR PROGRAM=PAGE...
set -u
source=$1
shift
failures=0
for pair in "$@"; do
  program=${pair%%=*}
  page=${pair#*=}
  options=$("$program" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u)
  [ -n "$options" ] || { echo "FAIL: $program lists no options"; failures=$((failures + 1)); }
  for option in $options; do
    grep -q -- "\*$option\*" "$source/doc/man/$page.scd" || {
      echo "FAIL: $page does not describe $option"
      failures=$((failures + 1))
    }
  done
done
[ "$failures" -eq 0 ] && echo "every option described"
[ "$failures" -eq 0 ]
