#!/usr/bin/env bash
# Long fuzz runs: bench/fuzz_long.sh [RUNS | SECONDSs] [TARGET...], one target at a time in
# one process, since the machine is shared.
# The default is 10^7 inputs per target; "1200s" runs each target for 20 minutes instead.
# FUZZ_FORKS=2 runs two fuzzing processes at once, for a machine with a core to spare.
# Prints executions, coverage (libFuzzer's final cov:) and crashes per target. Inputs found go
# to build-fuzz/long/<target>/, crashes to build-fuzz/long/crashes/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
limit=${1:-10000000}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_link fuzz_parsers)

if [ ! -f build-fuzz/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTKR_FUZZ=ON >/dev/null
fi
cmake --build build-fuzz -j2 --target "${targets[@]}"
# Allocation stacks cost half of each run's time and are not needed to find a fault: a crash
# found here is replayed from its file with the default options for the full report.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=0:quarantine_size_mb=16}

if [[ $limit == *s ]]; then
  budget=(-max_total_time="${limit%s}")
else
  budget=(-runs="$limit")
fi
printf '%-14s %12s %8s %8s\n' target executions cov crashes > build-fuzz/long-summary.txt
for t in "${targets[@]}"; do
  corpus=build-fuzz/long/$t crashes=build-fuzz/long/crashes/$t
  mkdir -p "$corpus" "$crashes"
  log=build-fuzz/long/$t.log
  # Keep going past a finding, so one run reports every crash it meets.
  build-fuzz/bin/"$t" "${budget[@]}" -seed=1 -max_len=512 -print_final_stats=1 \
    -fork="${FUZZ_FORKS:-1}" -ignore_crashes=1 -artifact_prefix="$crashes/" "$corpus" "tests/fuzz/corpus/$t" \
    >"$log" 2>&1 || true
  # The last status line of the fork mode: "#N: cov: C ft: ... oom/timeout/crash: ..."
  execs=$(grep -Eo '^#[0-9]+' "$log" | tail -1 | tr -d '#' || true)
  cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -1 | grep -Eo '[0-9]+' || true)
  found=$(grep -Eo 'oom/timeout/crash: [0-9]+/[0-9]+/[0-9]+' "$log" | tail -1 | cut -d/ -f5 || true)
  printf '%-14s %12s %8s %8s\n' "$t" "${execs:-?}" "${cov:-?}" "$found" | tee -a build-fuzz/long-summary.txt
done
cat build-fuzz/long-summary.txt
