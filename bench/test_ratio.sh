#!/usr/bin/env bash
# Test code against the rest: non-blank, non-comment lines of C++ (.cpp .h .hpp .cc) tracked by
# git, those under tests/ (fuzz targets included) against all others (apps, console, core,
# dialogs, platform, sim, bench). A line holding only a comment, or inside /* */, is not counted.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.h' '*.hpp' '*.cc' | python3 -c '
import sys
def count(path):
    n, block = 0, False
    for line in open(path, encoding="latin-1"):
        s = line.strip()
        if block:
            if "*/" in s: block, s = False, s.split("*/", 1)[1].strip()
            else: continue
        if s.startswith("/*"):
            if "*/" not in s: block = True
            continue
        if s and not s.startswith("//"): n += 1
    return n
tests = other = 0
for path in sys.stdin.read().split():
    if path.startswith("tests/"): tests += count(path)
    else: other += count(path)
print(f"test lines {tests}, other C++ lines {other}, ratio {100 * tests / other:.1f}%")
'
