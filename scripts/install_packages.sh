#!/usr/bin/env bash
# Installs the named Debian packages that are missing, with sudo when not root.
# Usage: scripts/install_packages.sh PACKAGE...   (each a real package: dpkg never reports a
# virtual one as installed, so it would be installed again on every run)
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
