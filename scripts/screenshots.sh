#!/usr/bin/env bash
# Pictures of the main window and every dialog, taken from the built program in a real X
# server (Xvfb), at the default size and after a resize, into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BIN:-build/bin}
out=${OUT:-docs}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The simulated reader, kept alive by an open input that the script closes at the end.
mkfifo "$tmp/sim.in"
"$bin/tkr520-sim" < "$tmp/sim.in" > "$tmp/sim.out" &
exec 3> "$tmp/sim.in"
for _ in $(seq 50); do [ -s "$tmp/sim.out" ] && break; sleep 0.1; done
device=$(head -1 "$tmp/sim.out")

shoot() {
  local program=$1 prefix=$2
  {
    echo "shot Main_form $out/${prefix}main.png"
    echo "click ComPortButton";    echo "shot ComPort_form $out/${prefix}comport.png"
    echo "click PreSuffixCommand"; echo "shot FixCode_Form $out/${prefix}fixcode.png"
    echo "click AboutCommand";     echo "shot Info_Form $out/${prefix}info.png"
    echo "click CardDataButton";   echo "shot CardType_Form $out/${prefix}cardtype.png"
    echo "resize 900 640";         echo "shot Main_form $out/${prefix}main-resized.png"
    echo "quit"
  } | TMPDIR="$tmp" xvfb-run -a -s "-screen 0 1280x1024x24" \
      "$bin/$program" --no-system-ports --port "COM1=$device" --trace | grep -E "^(SHOT|ERROR)" || true
}
shoot SWPDEMO2 ""
shoot SWPDEMO1 "legacy-"

# The detection window shows only while a scan runs: a silent reader on every port makes
# the scan last 16 s, and the screen is photographed during it.
command -v import >/dev/null || { apt-get install -y -qq imagemagick >/dev/null; }
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
echo silent >&3
ports=()
for n in $(seq 16); do ports+=(--port "COM$n=$device"); done
(sleep 6; echo quit) | DISPLAY=$display TMPDIR="$tmp" "$bin/SWPDEMO2" --no-system-ports "${ports[@]}" --trace >/dev/null &
app=$!
sleep 3.5
DISPLAY=$display import -window root "$out/detecting.png" && echo "SHOT $out/detecting.png"
wait "$app" || true
kill "$xvfb" 2>/dev/null || true
exec 3>&-
wait
