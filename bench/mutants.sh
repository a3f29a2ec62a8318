#!/usr/bin/env bash
# Mutation check: applies each mutant of bench/mutants.txt alone to a clean copy of HEAD,
# rebuilds incrementally and runs the whole suite (e2e and gui included). Prints one line
# per mutant (caught by which test, or survived) and the kill rate.
#   bench/mutants.sh [--check] [list]   --check only verifies that every text still matches
# MUTANT_CTEST_ARGS (for example "-R ^Exchange") narrows the suite while working on one area;
# the kill rate counts only for a run of the whole suite. MUTANT_ALL=1 runs the whole suite for
# every mutant and names every test that catches it, to show which tests no mutant needs alone.
set -uo pipefail
start=$SECONDS
here=$(cd "$(dirname "$0")/.." && pwd)
check=0
[[ ${1:-} == --check ]] && { check=1; shift; }
list=${1:-$here/bench/mutants.txt}
copy=${MUTANT_TREE:-$here/build-mutants/tree}
build=${MUTANT_BUILD:-$here/build-mutants/build}

# apply FILE TEXT REPLACEMENT: replaces the first occurrence, "\n" stands for a line break.
apply() {
  python3 - "$@" <<'PY'
import sys
path, text, repl = sys.argv[1], sys.argv[2].replace('\\n', '\n'), sys.argv[3].replace('\\n', '\n')
data = open(path, encoding='latin-1').read()
if text not in data:
    sys.exit(3)
open(path, 'w', encoding='latin-1').write(data.replace(text, repl, 1))
PY
}

if [[ $check == 0 ]]; then
  mkdir -p "$(dirname "$copy")"
  if [[ ! -d $copy ]]; then git -C "$here" worktree add --detach "$copy" HEAD >/dev/null; fi
  git -C "$copy" checkout -q --detach "$(git -C "$here" rev-parse HEAD)" && git -C "$copy" checkout -q -- .
  launcher=()
  if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$here")}
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$copy" -B "$build" -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" >/dev/null || exit 1
  cmake --build "$build" -j2 >/dev/null || { echo "clean copy does not build"; exit 1; }
fi

total=0 caught=0 nomatch=0 nobuild=0
while IFS= read -r line; do
  [[ -z ${line// } || $line == \#* ]] && continue
  IFS='|' read -r file text repl what <<<"$line"
  file=$(echo "$file" | xargs); text=${text# }; text=${text% }; repl=${repl# }; repl=${repl% }; what=${what# }
  total=$((total + 1))
  target=$([[ $check == 1 ]] && echo "$here" || echo "$copy")/$file
  if [[ $check == 1 ]]; then
    cp "$target" /tmp/mutant.$$ && apply /tmp/mutant.$$ "$text" "$repl"
    rc=$?; rm -f /tmp/mutant.$$
    [[ $rc == 0 ]] && echo "ok        $file: $what" || { echo "NO MATCH  $file: $what"; nomatch=$((nomatch + 1)); }
    continue
  fi
  if ! apply "$target" "$text" "$repl"; then
    echo "NO MATCH  $file: $what"; nomatch=$((nomatch + 1)); continue
  fi
  if ! cmake --build "$build" -j2 >/tmp/mutant-build.$$ 2>&1; then
    # A mutant that does not compile says nothing about the tests: fix its line in the list.
    echo "NO BUILD  $file: $what"; nobuild=$((nobuild + 1))
  else
    # Stops at the first failing test, so a caught mutant ends early, unless MUTANT_ALL is set.
    stop=(--stop-on-failure); shown=3
    [[ -n ${MUTANT_ALL:-} ]] && { stop=(); shown=1000; }
    out=$(cd "$build" && QT_QPA_PLATFORM=offscreen ctest -j2 "${stop[@]}" --timeout 120 ${MUTANT_CTEST_ARGS:-} 2>&1)
    failed=$(echo "$out" | sed -n 's/.*Test *#[0-9]*: \([^ ]*\) .*\*\*\*.*/\1/p' | head -$shown | tr '\n' ' ')
    if echo "$out" | grep -q -e '100% tests passed' -e 'No tests were found'; then
      echo "SURVIVED  $file: $what"
    else
      echo "caught    $file: $what  (by ${failed:-ctest})"; caught=$((caught + 1))
    fi
  fi
  git -C "$copy" checkout -q -- "$file"
done <"$list"
rm -f /tmp/mutant-build.$$
if [[ $check == 1 ]]; then echo "$total mutants, $nomatch do not match"; exit $((nomatch > 0)); fi
# The last mutant's objects are rebuilt from the clean file on the next run.
counted=$((total - nomatch - nobuild))
echo "killed $caught of $counted mutants in $((SECONDS - start)) s ($(( counted ? caught * 100 / counted : 0 ))%), $nomatch do not match, $nobuild do not build"
