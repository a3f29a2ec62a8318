#!/usr/bin/env bash
# Installs what the console needs to build and test on a Debian machine, if missing.
set -euo pipefail

# Each a real package: dpkg never reports a virtual one (such as libqt6serialport6-dev, which
# qt6-serialport-dev provides) as installed, so it would be installed again on every run.
# ninja-build and ccache only make scripts/test.sh faster.
packages=(cmake g++ make qt6-base-dev qt6-serialport-dev libgtest-dev
          libgl-dev xvfb xauth clang libclang-rt-14-dev ninja-build ccache)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
