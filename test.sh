#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test: once as built, once
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
install_packages

jobs=$(nproc)
# Configured for /usr: the Debian package is made from this tree.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

# The Debian package: contents, lintian, installed, played from where it is installed, removed.
tools/package.sh build

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORNSCR_SANITIZE=ON -DVORNSCR_BENCH=OFF
cmake --build build-sanitize -j "$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")

# Bounded fuzzing of every parser; long runs are done by hand with a larger time.
tools/fuzz.sh "${VORNSCR_FUZZ_SECONDS:-15}"

# The Windows program, cross-built and tested under wine.
tools/windows.sh build-win
