#!/usr/bin/env bash
# tkr520ctl against tkr520-sim: wall time of `status` and of one `set` against the protocol's
# minimum (100 ms quiet time per exchange plus transfer at 9600 baud) plus process start, and
# how soon after the launch the reader hears the first byte (the simulator's own timestamps),
# and how soon a port that cannot open is reported.
# Usage: bench/bench_ctl.sh [BIN_DIR]   (default build/bin)
# Prints "  PASS ..." / "  MISS ..." lines as the other benchmarks do; best of RUNS (5) each.
set -euo pipefail
bin=${1:-build/bin}
runs=${RUNS:-5}
dir=$(mktemp -d)
mkfifo "$dir/in"
"$bin/tkr520-sim" <"$dir/in" >"$dir/out" 2>/dev/null & sim=$!
exec 3>"$dir/in"
trap 'exec 3>&-; wait $sim 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 50); do [ -s "$dir/out" ] && break; sleep 0.1; done
dev=$(head -1 "$dir/out")
ctl=("$bin/tkr520ctl" --no-system-ports --port "COM1=$dev")

# The simulator's "received times" lines since the last such question: "<us since 1970> <hex>".
heard() {
  local ends
  ends=$(grep -c '^END$' "$dir/out" || true)
  echo "received times" >&3
  while [ "$(grep -c '^END$' "$dir/out" || true)" -le "$ends" ]; do sleep 0.01; done
  awk -v n="$ends" '/^END$/ { e++; next } e == n' "$dir/out" | grep -E '^[0-9]+ [0-9A-F]' || true
}

declare -A best
first_best=999999
# timed KEY CMD...: the wall time in ms, kept in best[KEY] when it is the best so far; the
# first byte the reader heard after the launch, kept in first_best likewise.
timed() {
  local key=$1 t0 t1 ms before first
  shift
  before=$(heard | wc -l)
  t0=$(date +%s%6N)
  "$@" >/dev/null 2>&1 || true
  t1=$(date +%s%6N)
  ms=$(( (t1 - t0) / 1000 ))
  if [ -z "${best[$key]:-}" ] || [ "$ms" -lt "${best[$key]}" ]; then best[$key]=$ms; fi
  first=$(heard | sed -n "$((before + 1))p" | cut -d' ' -f1)
  if [ -n "$first" ]; then
    ms=$(( (first - t0) / 1000 ))
    if [ "$ms" -lt "$first_best" ]; then first_best=$ms; fi
  fi
}
for i in $(seq "$runs"); do
  # Process start: the program up and down again with no device to look at.
  timed start "$bin/tkr520ctl" --no-system-ports ports
  timed status "${ctl[@]}" --com 1 status
  # Each round one change: off, then back on.
  timed set "${ctl[@]}" --com 1 set buzzer=$([ $((i % 2)) = 1 ] && echo off || echo on)
  # A port that cannot open: no device behind COM5.
  timed failing "${ctl[@]}" --com 5 status
done
"${ctl[@]}" --com 1 set buzzer=on >/dev/null 2>&1 || true
start=${best[start]}

# Exchanges: connecting is warm reset, version, RE1 (3); set buzzer adds frame, reset, RE1.
# Characters: 7F+':' 2, '9'+11 12, RE1 7+8 15; BZx 7+1 8, 7F 2, RE1 15. 10 bits a character.
min_status=$(( 300 + (2 + 12 + 15) * 10 * 1000 / 9600 ))
min_set=$(( 600 + (2 + 12 + 15 + 8 + 2 + 15) * 10 * 1000 / 9600 ))
echo "tkr520ctl against tkr520-sim (best of $runs; process start = \`ports\` with no devices, ${start} ms)"
for what in status set; do
  min=$([ $what = status ] && echo $min_status || echo $min_set)
  t=${best[$what]}
  limit=$(( min * 110 / 100 + start ))
  verdict=PASS; [ "$t" -le "$limit" ] || verdict=MISS
  echo "  $verdict ctl $what: ${t} ms (minimum ${min} ms + 10% + start ${start} ms = limit ${limit} ms)"
done
limit=$(( start + 50 ))
verdict=PASS; [ "$first_best" -le "$limit" ] || verdict=MISS
echo "  $verdict ctl first byte: ${first_best} ms after launch (start ${start} ms + 50 ms = limit ${limit} ms)"
t=${best[failing]}
verdict=PASS; [ "$t" -le 100 ] || verdict=MISS
echo "  $verdict ctl failing port: reported in ${t} ms (limit 100 ms)"
