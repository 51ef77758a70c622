#!/usr/bin/env bash
# Start-up time (cold and warm) and frame time of the generated sample show at 1920x1080 on a
# virtual display, with the share of CPU time outside the GL driver.
# Usage: bench/bench_sample.sh [BUILD_DIR] [FRAMES]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
exec /usr/bin/python3 "$here/bench/bench_sample.py" "$build/tools/vornscr-tool" "$build/vornscr" "${2:-300}"
