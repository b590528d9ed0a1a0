#!/usr/bin/env bash
# Runs a command and prints the CPU seconds of its busiest single thread: the critical path
# that bounds its wall time however many processors a machine has. Threads are sampled from
# /proc every 20 ms while the process lives, so one that ends keeps its last reading.
# Usage: busiest_thread.sh COMMAND [ARG...]
set -uo pipefail
"$@" >/dev/null 2>&1 &
pid=$!
declare -A ticks
while kill -0 "$pid" 2>/dev/null; do
  for stat in /proc/"$pid"/task/*/stat; do
    { read -r line < "$stat"; } 2>/dev/null || continue
    # Fields after the ")" that closes the thread name: utime and stime are the 12th and 13th.
    rest=${line##*) }
    read -r -a fields <<< "$rest"
    tid=${stat%/stat}; tid=${tid##*/}
    ticks[$tid]=$(( fields[11] + fields[12] ))
  done
  sleep 0.02
done
wait "$pid"
busiest=0
for t in "${ticks[@]}"; do (( t > busiest )) && busiest=$t; done
echo "$busiest $(getconf CLK_TCK)" | awk '{ printf "%.2f\n", $1 / $2 }'
