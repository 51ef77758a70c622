#!/usr/bin/env bash
# Builds everything and plays the sample show.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
install_packages

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
./build/vornscr "$@"
