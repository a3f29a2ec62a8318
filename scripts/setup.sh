#!/usr/bin/env bash
# Installs what the console needs to build and test on a Debian machine, if missing.
set -euo pipefail

packages=(cmake g++ make qt6-base-dev qt6-serialport-dev libqt6serialport6-dev libgtest-dev
          libqt6svg6 libgl-dev xvfb xauth clang libclang-rt-14-dev
          desktop-file-utils appstream bash-completion ansible-core)
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
