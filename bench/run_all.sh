#!/usr/bin/env bash
# Builds the benchmarks and runs them one after the other, then prints every judged figure.
#   bench/run_all.sh                 all of them
#   bench/run_all.sh bench_swipe ... only these (bench_ctl: bench/bench_ctl.sh, tkr520ctl)
# BUILD_DIR (default build-bench) and JOBS (default 2) choose where and how wide to build.
# Exits non-zero only when the build fails or a benchmark could not run; a figure that
# misses its target shows as MISS in the summary.
set -u -o pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build-bench}"
jobs="${JOBS:-2}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
fi
echo "building the benchmarks in $build ..."
cmake --build "$build" -j"$jobs" --target benchmarks >"$build/bench-build.log" 2>&1 || {
  tail -n 40 "$build/bench-build.log"
  echo "build failed (full log: $build/bench-build.log)"
  exit 1
}

if [ $# -gt 0 ]; then
  benches=("$@")
else
  benches=()
  for src in "$root"/bench/*.cpp; do benches+=("$(basename "$src" .cpp)"); done
  benches+=(bench_ctl)
fi

log="$build/bench-results.txt"
: >"$log"
: >"$build/bench-stderr.log"
failed=()
export QT_QPA_PLATFORM=offscreen
for b in "${benches[@]}"; do
  echo
  # Qt's own notes (no runtime directory and the like) go to stderr; keep them apart.
  run=("$build/bin/$b")
  [ "$b" = bench_ctl ] && run=(bash "$root/bench/bench_ctl.sh" "$build/bin")
  if ! "${run[@]}" 2>>"$build/bench-stderr.log" | tee -a "$log"; then
    failed+=("$b")
  fi
done

echo
echo "== summary ($(uname -n), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
grep -E '^  (PASS|MISS) ' "$log" | sed 's/^  //'
pass=$(grep -cE '^  PASS ' "$log")
miss=$(grep -cE '^  MISS ' "$log")
echo "$pass PASS, $miss MISS; full figures in $log"
if [ ${#failed[@]} -gt 0 ]; then
  echo "could not run: ${failed[*]} (see $build/bench-stderr.log)"
  exit 1
fi
exit 0
