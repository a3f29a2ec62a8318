#!/usr/bin/env bash
# Sets up, builds, and runs the console on the built-in simulated reader. With a display the
# window opens (with a "Simulated reader" window to swipe cards); without one the same
# start-up runs offscreen, one card is swiped, the monitor is printed and a screenshot is
# written to build/demo.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target SWPDEMO2 SWPDEMO1 tkr520-sim

program=${PROGRAM:-SWPDEMO2}
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "build/bin/$program" --simulate "$@"
fi
QT_QPA_PLATFORM=offscreen "build/bin/$program" --demo --screenshot build/demo.png "$@"
echo "Screenshot: build/demo.png"
