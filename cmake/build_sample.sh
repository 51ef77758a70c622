#!/usr/bin/env bash
# Writes the sample show for installation and plays it once on a virtual display, so that its
# model caches are built here and not by the installed copy, which is read-only.
#   build_sample.sh TOOL PROGRAM DIR
set -euo pipefail
tool=$1
program=$2
dir=$3
work=$dir.work
rm -rf "$dir" "$work"
mkdir -p "$work/config"

"$tool" sample "$dir" >"$work/sample.log"
# The texture export rewrites its files at every start; the installed show has no use for them.
python3 - "$dir/vornscr" <<'PY'
import pathlib, re, sys
for script in pathlib.Path(sys.argv[1]).glob("*.txt"):
    text = script.read_text()
    kept = re.sub(r"(?m)(^//[^\n]*\n)*^vorntextures\s*\{[^}]*\}\n?", "", text)
    if kept != text:
        script.write_text(kept)
PY

xvfb=$(cd "$(dirname "$0")/.." && pwd)/tests/e2e/xvfb.sh
"$xvfb" start "$work/xvfb" || { cat "$work/xvfb/xvfb.log" >&2; exit 1; }
trap '"$xvfb" stop "$work/xvfb"; rm -rf "$work"' EXIT

play()
{
  (cd "$dir" && DISPLAY=$(cat "$work/xvfb/display") XDG_CONFIG_HOME=$work/config \
    "$program" -window -frames 1) >"$work/play.log" 2>&1 ||
    { cat "$work/play.log" >&2; echo "build_sample.sh: the sample show did not play" >&2; exit 1; }
}
play
touch "$work/marker"
play
written=$(find "$dir" -newer "$work/marker")
if [ -n "$written" ]; then
  echo "build_sample.sh: a second start still writes into the show:" >&2
  echo "$written" >&2
  exit 1
fi
ls "$dir"/vornscr/cache/*.bin >/dev/null
echo "Sample show with its caches in $dir"
