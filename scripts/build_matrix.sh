#!/usr/bin/env bash
# Builds the programs for each build type with GCC and with Clang from an empty build folder
# (build-<compiler>-<type>/), warnings as errors, without tests; GoogleTest and Qt Test are
# kept out of reach to show such a build does not need them. One line per build, exit 1 if
# any failed. Usage: [COMPILERS="g++ clang++"] [JOBS=n] scripts/build_matrix.sh [TYPE...]
# (default: all four types)
set -uo pipefail
cd "$(dirname "$0")/.."
types=("$@")
[ ${#types[@]} -eq 0 ] && types=(Release Debug RelWithDebInfo MinSizeRel)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
status=0
for type in "${types[@]}"; do
  for cxx in ${COMPILERS:-g++ clang++}; do
    name=gcc
    [ "$cxx" = clang++ ] && name=clang
    dir=build-$name-$(echo "$type" | tr '[:upper:]' '[:lower:]')
    rm -rf "$dir" && mkdir -p "$dir"
    log=$dir/matrix.log
    start=$(date +%s)
    if cmake -S . -B "$dir" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE="$type" \
         -DCMAKE_CXX_COMPILER="$cxx" -DTKR_WERROR=ON -DBUILD_TESTING=OFF \
         -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt6Test=ON \
         >"$log" 2>&1 &&
       cmake --build "$dir" -j"${JOBS:-$(nproc)}" >>"$log" 2>&1; then
      echo "ok     $cxx $type ($(($(date +%s) - start)) s)"
    else
      echo "FAILED $cxx $type: see $log"
      status=1
    fi
  done
done
exit $status
