#!/usr/bin/env bash
# A virtual display for the GL and end-to-end tests, with two monitors side by side:
#   xvfb.sh start DIR    starts Xvfb on a free display and records it in DIR
#   xvfb.sh stop DIR     stops it
#   xvfb.sh run DIR CMD  runs CMD with DISPLAY set to it
set -euo pipefail
action=$1
dir=$2
shift 2
case "$action" in
  start)
    mkdir -p "$dir"
    "$0" stop "$dir" || true
    for n in $(seq 90 190); do
      [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
      Xvfb ":$n" -screen 0 1824x768x24 -noreset -nolisten tcp >"$dir/xvfb.log" 2>&1 &
      echo $! >"$dir/pid"
      for _ in $(seq 1 100); do
        if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
          echo ":$n" >"$dir/display"
          DISPLAY=":$n" xrandr --setmonitor '*MON0' 1024/271x768/203+0+0 screen >/dev/null
          DISPLAY=":$n" xrandr --setmonitor MON1 800/212x600/159+1024+0 none >/dev/null
          exit 0
        fi
        kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
        sleep 0.1
      done
      kill "$(cat "$dir/pid")" 2>/dev/null || true
    done
    echo "no display could be started" >&2
    exit 1
    ;;
  stop)
    if [ -f "$dir/pid" ]; then
      kill "$(cat "$dir/pid")" 2>/dev/null || true
      rm -f "$dir/pid" "$dir/display"
    fi
    ;;
  run)
    DISPLAY=$(cat "$dir/display")
    export DISPLAY
    exec "$@"
    ;;
esac
