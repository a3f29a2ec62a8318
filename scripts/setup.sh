#!/usr/bin/env bash
# Installs what the console needs to build and test on a Debian machine, if missing.
# ninja-build and ccache only make scripts/test.sh faster; clang-format and clang-tidy check
# the sources; the rest validates and exercises the package's desktop files, completions and
# the Ansible module.
set -euo pipefail
"$(dirname "$0")/install_packages.sh" cmake g++ make qt6-base-dev qt6-serialport-dev libgtest-dev \
  libqt6svg6 libgl-dev xvfb xauth clang libclang-rt-14-dev clang-format clang-tidy ninja-build ccache \
  desktop-file-utils appstream bash-completion ansible-core
