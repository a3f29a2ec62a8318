#!/usr/bin/env bash
# An hour's soak of each edition against tkr520-sim, both at once: RSS at the start, once the
# monitor reached its bound and at the end, peak event-loop latency, checks passed.
#   bench/soak.sh [SECONDS] [SEED] [PROGRAM...]   (defaults: 3600, 1, SWPDEMO2 SWPDEMO1)
set -u -o pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build-bench}"
seconds="${1:-3600}"
seed="${2:-1}"
shift $(( $# > 2 ? 2 : $# ))
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(SWPDEMO2 SWPDEMO1)
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build" -j"${JOBS:-2}" --target tkr_soak >"$build/soak-build.log" 2>&1 || { tail -n 30 "$build/soak-build.log"; exit 1; }
pids=()
for program in "${programs[@]}"; do
  # Strict figures here (a ping within 50 ms); the test run keeps a generous bound.
  QT_QPA_PLATFORM=offscreen "$build/bin/tkr_soak" "$program" "$seconds" "$seed" --latency-ms 50 \
    >"$build/soak-$program.txt" 2>"$build/soak-$program.err" &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
for program in "${programs[@]}"; do
  grep '^SOAK FAILED' "$build/soak-$program.txt" | sed "s/^SOAK FAILED/$program failed/"
  awk -v p="$program" '/^SOAK END/ { for (i = 1; i <= NF; ++i) { split($i, kv, "="); f[kv[1]] = kv[2] }
    growth = f["rss_now_kb"] - f["rss_bound_kb"]
    printf "%s: rss at start %s kB, at bound %s kB, at end %s kB (growth %d kB, %s), peak latency %s ms, checks %d passed of %s\n",
      p, f["rss_start_kb"], f["rss_bound_kb"], f["rss_now_kb"], growth, growth < 2048 ? "PASS" : "MISS",
      f["peak_latency_ms"], f["checks"] - f["failures"], f["checks"] }' "$build/soak-$program.txt"
done
exit $status
