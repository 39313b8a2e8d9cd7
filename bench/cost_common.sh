# Sourced by the idle-cost scripts: what a process has cost so far, and the arithmetic and
# benchmark figures their verdicts use.

# Prints "<cpu ns> <wake-ups>" of process PID; "0 0" once it is gone.
counters() {
  local pid=$1 cpu=0 wakes=0 task v n
  for task in /proc/"$pid"/task/*; do
    [ -r "$task/schedstat" ] || continue
    read -r n _ < "$task/schedstat" || continue
    cpu=$((cpu + n))
    while read -r key v; do
      case $key in
        voluntary_ctxt_switches: | nonvoluntary_ctxt_switches:) wakes=$((wakes + v)) ;;
      esac
    done < "$task/status"
  done
  echo "$cpu $wakes"
}

calc() { awk "BEGIN { print $1 }"; }
above() { awk "BEGIN { exit !($1 > $2) }"; }

# bench_median JSON BENCHMARK COUNTER: a counter of a benchmark's median entry in Google
# Benchmark's JSON output ("name": value,).
bench_median() {
  grep -A30 "\"name\": \"$2/real_time_median\"" "$1" | grep "\"$3\"" | head -1 |
    awk -F': ' '{ sub(/,$/, "", $2); print $2 + 0 }'
}
