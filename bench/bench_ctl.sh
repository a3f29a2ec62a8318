#!/usr/bin/env bash
# tkr520ctl against tkr520-sim: wall time of `status` and of one `set` against the protocol's
# minimum (100 ms quiet time per exchange plus transfer at 9600 baud) plus process start.
# Usage: bench/bench_ctl.sh [BIN_DIR]   (default build/bin)
set -euo pipefail
bin=${1:-build/bin}
fifo=$(mktemp -u); mkfifo "$fifo"
"$bin/tkr520-sim" <"$fifo" >"$fifo.out" 2>/dev/null & sim=$!
exec 3>"$fifo"
trap 'exec 3>&-; wait $sim 2>/dev/null; rm -f "$fifo" "$fifo.out"' EXIT
for _ in $(seq 50); do [ -s "$fifo.out" ] && break; sleep 0.1; done
dev=$(head -1 "$fifo.out")
ctl=("$bin/tkr520ctl" --no-system-ports --port "COM1=$dev")
ms() { local t0 t1; t0=$(date +%s%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s%N); echo $(( (t1 - t0) / 1000000 )); }
start=$(ms "${ctl[@]}" ports)
# Exchanges: connecting is warm reset, version, RE1 (3); set buzzer adds frame, reset, RE1.
# Characters: 7F+':' 2, '9'+11 12, RE1 7+8 15; BZx 7+1 8, 7F 2, RE1 15. 10 bits a character.
min_status=$(( 300 + (2 + 12 + 15) * 10 * 1000 / 9600 ))
min_set=$(( 600 + (2 + 12 + 15 + 8 + 2 + 15) * 10 * 1000 / 9600 ))
for what in status set; do
  if [ $what = status ]; then t=$(ms "${ctl[@]}" --com 1 status); min=$min_status
  else t=$(ms "${ctl[@]}" --com 1 set buzzer=off); "${ctl[@]}" --com 1 set buzzer=on >/dev/null; min=$min_set; fi
  limit=$(( min * 110 / 100 + start ))
  verdict=PASS; [ "$t" -le "$limit" ] || verdict=MISS
  echo "$verdict $what: ${t} ms (minimum ${min} ms + start ${start} ms, limit ${limit} ms)"
done
