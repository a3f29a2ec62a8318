#!/usr/bin/env bash
# Builds a Release tree without tests and makes the Debian package in build-package/.
# Then checks it with lintian when that is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-package
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  ${TKR_PACKAGE_MAINTAINER:+"-DTKR_PACKAGE_MAINTAINER=$TKR_PACKAGE_MAINTAINER"} >/dev/null
cmake --build "$dir" -j"$(nproc)"
(cd "$dir" && cpack -G DEB)
deb=$(ls -t "$dir"/tkr520-console_*.deb | head -1)
echo "$deb"
if command -v lintian >/dev/null; then lintian "$deb"; fi
