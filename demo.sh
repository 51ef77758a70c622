#!/usr/bin/env bash
# Builds everything and plays the built-in show. Without a display it plays a fixed number of
# frames on a virtual one. The show runs from a temporary copy with its own registry file, so
# the user's own registry is never touched. Extra arguments go to the program;
# VORNSCR_BUILD_DIR picks another build directory.
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)
source tools/packages.sh
install_packages

build=$(realpath -m "${VORNSCR_BUILD_DIR:-build}")
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)"

work=$(mktemp -d)
xvfb=""
cleanup()
{
  [ -n "$xvfb" ] && "$here/tests/e2e/xvfb.sh" stop "$xvfb"
  rm -rf "$work"
}
trap cleanup EXIT

cp -r sample/builtin "$work/show"
mkdir -p "$work/config/vornscr"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornScr]\nDir=%s\n' "$work/show" >"$work/config/vornscr/registry"

run=()
args=("$@")
if [ -z "${DISPLAY:-}" ]; then
  xvfb="$work/xvfb"
  tests/e2e/xvfb.sh start "$xvfb"
  run=("$here/tests/e2e/xvfb.sh" run "$xvfb")
  [ ${#args[@]} -gt 0 ] || args=(-frames 300)
  echo "No display: playing ${args[*]} on a virtual one."
fi

status=0
(cd "$work" && XDG_CONFIG_HOME="$work/config" "${run[@]}" "$build/vornscr" "${args[@]}") || status=$?
echo "vornscr ended with status $status"
exit "$status"
