#!/usr/bin/env bash
# Builds everything, writes the sample show into a work directory and plays it: full screen on
# every monitor until a key or the mouse ends it. Without a display it plays on a virtual one,
# saves a screenshot of every monitor into the work directory and ends the show itself.
# The show runs with its own registry file, so the user's own registry is never touched.
# Extra arguments go to the program; VORNSCR_BUILD_DIR picks another build directory and
# VORNSCR_WORK_DIR another work directory.
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)
source tools/packages.sh
install_packages

build=$(realpath -m "${VORNSCR_BUILD_DIR:-build}")
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)" --target vornscr vornscr-tool

work=$(realpath -m "${VORNSCR_WORK_DIR:-$(mktemp -d /tmp/vornscr-demo-XXXXXX)}")
mkdir -p "$work"
rm -rf "$work/show"
"$build/tools/vornscr-tool" sample "$work/show"
mkdir -p "$work/config/vornscr"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornScr]\nDir=%s\n' "$work/show" >"$work/config/vornscr/registry"
echo "Sample show written to $work/show"

if [ -n "${DISPLAY:-}" ]; then
  status=0
  (cd "$work/show" && XDG_CONFIG_HOME="$work/config" "$build/vornscr" "$@") || status=$?
  echo "vornscr ended with status $status"
  exit "$status"
fi

xvfb="$work/xvfb"
trap '"$here/tests/e2e/xvfb.sh" stop "$xvfb"' EXIT
tests/e2e/xvfb.sh start "$xvfb"
export DISPLAY=$(cat "$xvfb/display")
seconds=${VORNSCR_DEMO_SECONDS:-10}
echo "No display: playing on the virtual display $DISPLAY for about $seconds seconds of show time."
log="$work/log.txt"
rm -f "$log"
(cd "$work/show" && XDG_CONFIG_HOME="$work/config" VORNSCR_LOG="$log" exec "$build/vornscr" "$@") \
  >"$work/output.txt" 2>&1 &
pid=$!
# Show time starts once everything is loaded: the root group is the last effect read.
for _ in $(seq 1 600); do
  grep -q 'ms for group$' "$log" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
sleep "$seconds"
status=0
if kill -0 "$pid" 2>/dev/null; then
  n=0
  while read -r geometry; do
    # "W/mmxH/mm+X+Y" of each monitor
    size=$(echo "$geometry" | sed -E 's#^([0-9]+)/[0-9]+x([0-9]+)/[0-9]+\+([0-9]+)\+([0-9]+)$#\1x\2+\3+\4#')
    import -window root -crop "$size" +repage "$work/monitor$n.png"
    echo "Screenshot of monitor $n: $work/monitor$n.png"
    n=$((n + 1))
  done < <(xrandr --listmonitors | awk 'NR > 1 { print $3 }')
  xdotool mousemove_relative -- 40 30
fi
wait "$pid" || status=$?
echo "vornscr ended with status $status; log in $log"
exit "$status"
