#!/bin/sh
# Floods the console's port through the shared peerbench harness: a 30 s flood (pty written
# as fast as it takes) after a short paced stream. Pass other phase lengths after the
# profile's "--", e.g. bench/flood.sh --slow 300 for the long 19200-baud stream.
# Figures land in build/peerbench (summary.md, run-1/result.json).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
bench=${PEERBENCH:-$here/../shared/peerbench}
# The harness runs under the system python, which needs python3-xlib.
for p in python3-xlib xdotool imagemagick xvfb; do
  dpkg -s "$p" >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$p" >/dev/null
done
export PATH=/usr/bin:$PATH
cmake --build "$here/build" -j2 --target SWPDEMO2
CONSOLE_BIN="$here/build/bin/SWPDEMO2" "$bench/bench.sh" -n 1 -w 0 -o "$here/build/peerbench" \
  "$bench/profiles/tkr520.sh" -- --reader-front --fast 30 "$@"
