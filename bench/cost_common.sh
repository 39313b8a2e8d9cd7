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

# Prints the utime + stime of every thread of process PID in ns (clock ticks: coarse); 0 once
# it is gone.
stat_cpu_ns() {
  local pid=$1 ticks=0 task line rest
  local -a fields
  for task in /proc/"$pid"/task/*; do
    read -r line < "$task/stat" 2> /dev/null || continue
    rest=${line##*) }
    read -r -a fields <<< "$rest"
    ticks=$((ticks + fields[11] + fields[12]))
  done
  echo $((ticks * 1000000000 / $(getconf CLK_TCK)))
}

# Prints "<voluntary> <involuntary>" context switches of every thread of process PID.
switches() {
  local pid=$1 vol=0 invol=0 task key v
  for task in /proc/"$pid"/task/*; do
    while read -r key v; do
      case $key in
        voluntary_ctxt_switches:) vol=$((vol + v)) ;;
        nonvoluntary_ctxt_switches:) invol=$((invol + v)) ;;
      esac
    done < "$task/status" 2> /dev/null || true
  done
  echo "$vol $invol"
}

calc() { awk "BEGIN { print $1 }"; }
above() { awk "BEGIN { exit !($1 > $2) }"; }

# bench_median JSON BENCHMARK COUNTER: a counter of a benchmark's median entry in Google
# Benchmark's JSON output ("name": value,).
bench_median() {
  grep -A30 "\"name\": \"$2/real_time_median\"" "$1" | grep "\"$3\"" | head -1 |
    awk -F': ' '{ sub(/,$/, "", $2); print $2 + 0 }'
}
