#!/usr/bin/env bash
# Sets up, builds with warnings as errors, and runs every test twice: in a normal build and
# under AddressSanitizer + UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

# ccache where installed, so a second run compiles only what changed. Paths under the source
# folder are hashed relative to it and the build folder's own path not at all, so a fresh
# clone in another folder finds the last clone's objects; the sloppiness lets it cache files
# built with a precompiled header.
launcher=$(command -v ccache || true)
if [ -n "$launcher" ]; then
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi
# Ninja where there is one, which starts a target's files before the libraries it links are
# done; a build folder made with another generator keeps it.
configure() {
  local dir=$1 generator=()
  shift
  [ ! -f "$dir/CMakeCache.txt" ] && command -v ninja >/dev/null && generator=(-G Ninja)
  cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" "$@" >/dev/null
}

configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTKR_WERROR=ON
# The benchmarks are built here only: they run outside the test run, and never sanitized.
cmake --build build -j"$jobs" --target all benchmarks
# Each test run has the machine to itself: the end-to-end tests and the soak run against real
# time, and a build beside them would starve the simulated reader. The soak runs the real
# programs against the clock of a shared machine: a soak that fails is run once more on its
# own (its output above stays), any other failure fails the run.
(cd build && { ctest --output-on-failure -j"$jobs" --timeout 300 ||
  { ! grep -qv ':soak_' Testing/Temporary/LastTestsFailed.log &&
    ctest --output-on-failure --timeout 300 --rerun-failed; }; })

# Formatting and lint, on the sources git knows (clang-format's and clang-tidy's own files).
sources=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run -Werror $sources
git ls-files '*.cpp' | grep -v '^tests/fuzz/' |
  xargs -P"$jobs" -n8 clang-tidy -p build --quiet >build/clang-tidy.log 2>&1 ||
  { grep -E 'error:|warning:' build/clang-tidy.log; exit 1; }

# Leaks count as failures; tests/lsan.supp names what belongs to Qt or the system libraries.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DTKR_SANITIZE=ON -DTKR_WERROR=ON
cmake --build build-asan -j"$jobs"
# The soak runs the programs for real time, which the sanitizers slow past its use.
(cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 600 -LE soak)

# The programs also build warning-free with Clang in Release; build only, to save time.
CC=clang CXX=clang++ configure build-clang -DCMAKE_BUILD_TYPE=Release -DTKR_WERROR=ON \
  -DBUILD_TESTING=OFF
cmake --build build-clang -j"$jobs"

# Short fixed-seed fuzz runs of the console's routines and the parsers (clang, libFuzzer);
# bench/fuzz_long.sh runs them for long. They compute all the time, so they come last.
if command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTKR_FUZZ=ON -DTKR_WERROR=ON
  cmake --build build-fuzz -j"$jobs" --target fuzz_link fuzz_parsers
  (cd build-fuzz && ctest --output-on-failure -R '^fuzz_' --timeout 300)
fi
