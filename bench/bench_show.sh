#!/usr/bin/env bash
# Frames per second, CPU time per frame and the share of CPU time outside the GL driver for
# the built-in show at 640x480 and 1920x1080 on a virtual display.
# Usage: bench/bench_show.sh [BUILD_DIR] [FRAMES]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
exec /usr/bin/python3 "$here/bench/bench_show.py" "$build/vornscr" "$here/sample/builtin" "${2:-200}"
