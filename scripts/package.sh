#!/usr/bin/env bash
# Builds a Release tree without tests, hardened with the distribution's flags, and makes the
# Debian package in build-package/. Then checks the package with lintian, and its desktop
# entries and AppStream files as installed with appstreamcli, where those are installed.
set -euo pipefail
cd "$(dirname "$0")/.."

# The build itself, and dpkg-dev and file, with which CPack finds the programs and names the
# libraries they need in Depends (dpkg-shlibdeps): without them the package has no Depends,
# installs, and then cannot start.
scripts/install_packages.sh cmake g++ make qt6-base-dev qt6-serialport-dev dpkg-dev file
command -v dpkg-shlibdeps >/dev/null || {
  echo "package.sh: dpkg-shlibdeps (dpkg-dev) is missing" >&2
  exit 1
}

# Fortified functions, stack protector, read-only relocations and immediate binding, as
# Debian builds its own packages; without -g, since the programs are stripped anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cxxflags=$(sed -E 's/(^| )-g( |$)/ /' <<<"$cxxflags")
ldflags=$(dpkg-buildflags --get LDFLAGS)

dir=build-package
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
  ${TKR_PACKAGE_MAINTAINER:+"-DTKR_PACKAGE_MAINTAINER=$TKR_PACKAGE_MAINTAINER"} >/dev/null
cmake --build "$dir" -j"$(nproc)"
rm -f "$dir"/tkr520-console_*.deb
(cd "$dir" && cpack -G DEB)
deb=$(ls -t "$dir"/tkr520-console_*.deb | head -1)
# The last guard against a package that installs and cannot start.
if ! dpkg-deb -f "$deb" Depends | grep -q libqt6core6; then
  echo "package.sh: $deb does not depend on Qt" >&2
  exit 1
fi
echo "$deb"

if command -v lintian >/dev/null; then lintian -I --pedantic "$deb"; fi
if command -v appstreamcli >/dev/null; then
  tree=$(mktemp -d)
  trap 'rm -rf "$tree"' EXIT
  dpkg-deb -x "$deb" "$tree"
  appstreamcli validate-tree --pedantic --no-net "$tree"
fi
