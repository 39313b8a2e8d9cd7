# Sourced by the idle-cost scripts: what a process has cost so far, summed over its threads.

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
