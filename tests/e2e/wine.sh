#!/usr/bin/env bash
# Unit and end-to-end tests of the Windows program under wine, on a virtual display of its own.
#   tests/e2e/wine.sh BUILD_DIR WORK_DIR
# BUILD_DIR holds the cross build (vornscr.scr, tests/unit_tests.exe); WORK_DIR is made anew and
# receives a fresh wine prefix, the show directory and the logs.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(realpath "$1")
work=$(realpath -m "$2")
rm -rf "$work"
mkdir -p "$work"

export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
export WINEARCH=win64

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

xvfb_pid=
cleanup()
{
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT

# One small screen: the full-screen window covers it, and llvmpipe draws it quickly.
Xvfb -displayfd 3 -screen 0 320x240x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")

# The prefix, and the two settings without which wine would wait for a window manager or a
# crash dialog that never comes.
wine wineboot --init >"$work/wineboot.log" 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w

# Unit tests. The corpus paths are POSIX paths, which wine finds on its drive Z:.
(cd "$bin" && wine tests/unit_tests.exe --gtest_brief=1) >"$work/unit.log" 2>&1
unit_rc=$?
grep -E '^\[  (PASSED|FAILED|SKIPPED) ' "$work/unit.log" || true
if [ $unit_rc -eq 0 ]; then pass "unit tests"; else
  tail -n 60 "$work/unit.log"
  fail "unit tests (exit $unit_rc, log $work/unit.log)"
fi

# The show: one palette clear in an unmistakable colour.
show=$work/show
mkdir -p "$show/vornscr" "$work/elsewhere"
printf 'palette {\nmark (1 0 0.5 1)\n}\nclear {\ncolor mark\n}\n' >"$show/vornscr/script.txt"
cp "$bin/vornscr.scr" "$show/vornscr.exe"
x86_64-w64-mingw32-g++-win32 -O2 -static -o "$work/postclose.exe" "$root/tests/e2e/postclose.cpp"
x86_64-w64-mingw32-g++-win32 -O2 -static -o "$work/saver_dialog.exe" "$root/tests/e2e/saver_dialog.cpp" -lgdi32
g++ -O2 -o "$work/x11_window" "$root/tests/e2e/x11_window.cpp" -lX11 -lXcomposite

log=$work/vornscr.log
winlog=$(wine winepath -w "$log" 2>/dev/null | tr -d '\r')

# Runs the program with its arguments in the directory given, waiting for its end.
run()
{
  local dir=$1
  shift
  : >"$log"
  (cd "$dir" && VORNSCR_LOG=$winlog timeout 120 wine "$@") >>"$work/runs.log" 2>&1
}

# Starts the show in the background; returns once its frame loop is running.
start_show()
{
  : >"$log"
  (cd "$work/elsewhere" && VORNSCR_LOG=$winlog exec timeout 120 wine 'C:\windows\system32\vornscr.scr') \
    >>"$work/runs.log" 2>&1 &
  show_pid=$!
  for _ in $(seq 1 600); do
    grep -q '^Texture units: ' "$log" 2>/dev/null && break
    kill -0 "$show_pid" 2>/dev/null || break
    sleep 0.1
  done
  sleep 1 # a few frames
  # The stimulus must be what ends it.
  kill -0 "$show_pid" 2>/dev/null
}

# Waits for the show to end; its exit code.
end_show()
{
  local waited=0
  while kill -0 "$show_pid" 2>/dev/null && [ $waited -lt 300 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill "$show_pid" 2>/dev/null
  wait "$show_pid"
}

run "$show" ./vornscr.exe /p 1234
rc=$?
if [ $rc -eq 255 ] && ! grep -q '^#0: ' "$log"; then pass "\"/p\" without a window ends with -1 and opens nothing"; else
  fail "\"/p 1234\": exit $rc, log: $(cat "$log")"
fi

# The settings button: a message box, closed by the helper, then -1.
settings()
{
  (cd "$show" && timeout 60 wine "$work/saver_dialog.exe" settings vornscr.exe) >"$work/settings.out" 2>>"$work/runs.log"
  tr -d '\r' <"$work/settings.out"
}
text=$(settings)
if grep -q '^text No show is installed yet' <<<"$text" && grep -q -- '-install' <<<"$text" &&
  grep -q 'manual' <<<"$text" && grep -qx 'exit -1' <<<"$text" && ! grep -q '^#0: ' "$log"; then
  pass "\"/c\" before an installation says so in a message box and ends with -1"
else
  fail "\"/c\": $text"
fi

# Before the installation the recorded directory is a placeholder and there is no show here.
run "$work/elsewhere" "$show/vornscr.exe"
rc=$?
dir=$(wine reg query 'HKLM\SOFTWARE\VornScr' /v Dir 2>/dev/null | tr -d '\r' | awk '$1 == "Dir" { print $3 }')
if [ $rc -eq 255 ] && [ "$dir" = "replaceme" ]; then pass "a first start records the placeholder and ends without a script"; else
  fail "first start: exit $rc, Dir \"$dir\""
fi

run "$show" ./vornscr.exe -install
rc=$?
dir=$(wine reg query 'HKLM\SOFTWARE\VornScr' /v Dir 2>/dev/null | tr -d '\r' | sed -n 's/^ *Dir *REG_SZ *//p')
expected=$(wine winepath -w "$show" 2>/dev/null | tr -d '\r')
location=$(wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer' /v InstallerLocation \
  2>/dev/null | tr -d '\r' | sed -n 's/^ *InstallerLocation *REG_SZ *//p')
installed=$(wine winepath -u "${location%\\}\\vornscr.scr" 2>/dev/null | tr -d '\r')
if [ $rc -eq 255 ] && [ "$dir" = "$expected" ] && [ -n "$location" ] && cmp -s "$installed" "$bin/vornscr.scr"; then
  pass "-install records $dir and copies the program into $location"
else
  fail "-install: exit $rc, Dir \"$dir\" (expected \"$expected\"), location \"$location\", copy \"$installed\""
fi

text=$(settings)
if grep -qF "text The show is played from the data directory" <<<"$text" && grep -qF "$expected" <<<"$text" &&
  grep -qx 'exit -1' <<<"$text"; then
  pass "\"/c\" names the recorded data directory"
else
  fail "\"/c\" after -install: $text"
fi

# The share of the screen in the show's colour, from a dump of the root window; with a
# rectangle X Y WIDTH HEIGHT, the share inside it and the number of such pixels outside.
colour_share()
{
  xwd -root -silent >"$work/screen.xwd" && python3 - "$work/screen.xwd" "$@" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
h = struct.unpack(">25I", data[:100])
size, width, height, order, bpp, stride, ncolors = h[0], h[4], h[5], h[7], h[11], h[12], h[19]
masks = h[14:17]
pixels = data[size + ncolors * 12:]
def channel(value, mask):
    shift = (mask & -mask).bit_length() - 1
    return ((value & mask) >> shift) * 255 // (mask >> shift)
rx, ry, rw, rh = (int(v) for v in sys.argv[2:6]) if len(sys.argv) > 2 else (0, 0, width, height)
inside = outside = 0
for y in range(height):
    for x in range(width):
        raw = pixels[y * stride + x * 4:y * stride + x * 4 + 4]
        value = struct.unpack("<I" if order == 0 else ">I", raw)[0]
        r, g, b = (channel(value, m) for m in masks)
        hit = abs(r - 255) <= 2 and g <= 2 and abs(b - 128) <= 2
        if rx <= x < rx + rw and ry <= y < ry + rh:
            inside += hit
        else:
            outside += hit
print(inside * 100 // (rw * rh), *([outside] if len(sys.argv) > 2 else []))
PY
}

# The dialog's preview: the show fills the window it was given and nothing else, input does not
# end it, and the window's end does, with the usual report.
: >"$log"
rm -f "$work/preview.done"
(cd "$work/elsewhere" && VORNSCR_LOG=$winlog exec timeout 200 wine "$work/saver_dialog.exe" preview \
  'C:\windows\system32\vornscr.scr' "$(wine winepath -w "$work/preview.done" 2>/dev/null | tr -d '\r')") \
  >"$work/preview.out" 2>>"$work/runs.log" &
preview_pid=$!
for _ in $(seq 1 900); do
  grep -q '^child ' "$work/preview.out" && grep -q '^Texture units: ' "$log" && break
  kill -0 "$preview_pid" 2>/dev/null || break
  sleep 0.1
done
read -r _ px py pw ph < <(grep '^ready ' "$work/preview.out" | tr -d '\r')
child=$(grep '^child ' "$work/preview.out" | tr -d '\r' | cut -d' ' -f2-)
xdotool mousemove_relative -- 20 15 key Escape
sleep 1
read -r _ outside < <(colour_share "${px:-0}" "${py:-0}" "${pw:-1}" "${ph:-1}")
# Wine composes no window of another process into ours on the screen: it keeps what the program
# drew in an off-screen X window of the child's size, below one of its 1x1 placeholders.
drawn=$(xwininfo -root -tree | grep -F -- "${pw:-0}x${ph:-0}+0+0  +-1+-1" | awk '{ print $1 }' | tail -n 1)
share=$([ -n "$drawn" ] && "$work/x11_window" pixels "$drawn" 255 0 128)
alive=no
kill -0 "$preview_pid" 2>/dev/null && ! grep -q '^exit ' "$work/preview.out" && alive=yes
touch "$work/preview.done"
wait "$preview_pid"
ended=$(tr -d '\r' <"$work/preview.out" | sed -n 's/^exit //p')
if [ "$child" = "$px $py $pw $ph" ] && [ "${share:-0}" -ge 99 ] && [ "${outside:-1}" -eq 0 ] && [ $alive = yes ]; then
  pass "the preview's child window covers its window (${pw}x${ph}) in the show's colour ($share%), nothing outside, through input"
else
  fail "preview: child \"$child\" in \"$px $py $pw $ph\", ${share:-?}% drawn, ${outside:-?} pixels outside, running after input: $alive"
fi
if [ "$ended" = 0 ] && grep -q "^#0: rect=0,0,$pw,$ph size=$pw,$ph device=\"preview\"" "$log" &&
  ! grep -q '^#1: ' "$log" && grep -q '^Leaked memory: ' "$log"; then
  pass "the preview's one device ends with 0 and the report when its window goes away"
else
  fail "preview end: exit ${ended:-?}, log: $(grep -v '^\.\./' "$log" | head -n 20)"
fi

# Started from another directory, the installed program plays the recorded directory's show.
start_show || fail "the show ended by itself: $(cat "$log")"
share=$(colour_share)
if [ "${share:-0}" -ge 99 ]; then pass "the palette clear fills the screen ($share%)"; else fail "screen in the show's colour: ${share:-?}%"; fi
for line in "Computer: " "CmdLine: " '#0: rect=0,0,320,240 size=320,240 device="' "Status: Using GLEW " "Texture units: "; do
  grep -n -F -- "$line" "$log" | head -n 1 | cut -d: -f1
done >"$work/order"
if [ "$(wc -l <"$work/order")" -eq 5 ] && sort -n -c "$work/order" 2>/dev/null; then pass "the log holds the start-up lines in order"; else
  fail "start-up lines: $(tr '\n' ' ' <"$work/order"), log: $(cat "$log")"
fi
xdotool mousemove_relative -- 20 15
end_show
rc=$?
if [ $rc -eq 0 ]; then pass "a mouse move ends the show with 0"; else fail "mouse move: exit $rc"; fi

start_show || fail "the show ended by itself: $(cat "$log")"
xdotool keydown Escape
sleep 0.3
xdotool keyup Escape
end_show
rc=$?
if [ $rc -eq 0 ]; then pass "Escape held down ends the show with 0"; else fail "Escape: exit $rc"; fi

start_show || fail "the show ended by itself: $(cat "$log")"
wine "$work/postclose.exe" >>"$work/runs.log" 2>&1
posted=$?
end_show
rc=$?
if [ $posted -eq 0 ] && [ $rc -eq 0 ]; then pass "WM_CLOSE ends the show with 0"; else fail "WM_CLOSE: posted $posted, exit $rc"; fi

# A show of every transform, texture and shader effect plays without a GL error.
fxshow=$work/fxshow
"$root/tests/e2e/effects_show.sh" --prepare "$fxshow"
cp "$bin/vornscr.scr" "$fxshow/vornscr.exe"
run "$fxshow" ./vornscr.exe -install
start_show || fail "the effects show ended by itself: $(cat "$log")"
sleep 3
xdotool mousemove_relative -- 20 15
end_show
rc=$?
if [ $rc -eq 0 ] && ! grep -q '^OpenGL: error' "$log" && grep -q "Compiling shader 'data/show.shader'... ok" "$log"; then
  pass "the effects show plays without a GL error and ends with 0"
else
  fail "effects show: exit $rc, log: $(cat "$log")"
fi

if [ $failures -gt 0 ]; then
  echo "$failures Windows test(s) failed; logs in $work" >&2
  exit 1
fi
echo "All Windows tests passed"
