#!/usr/bin/env bash
# Plays a show that uses every transform, texture and shader effect on both monitors of the
# virtual display for a few seconds, ends it with a mouse move and checks that it ended
# normally without a GL error.
#   effects_show.sh DISPLAY_DIR PROGRAM
#   effects_show.sh --prepare DIR      only writes the show into DIR (the Windows tests play it)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "$1" = "--prepare" ]; then
  work=$2
else
  display_dir=$(realpath "$1")
  program=$(realpath "$2")
  work=$(mktemp -d /tmp/vornscr-effects-show-XXXXXX)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/vornscr" "$work/data" "$work/config"

/usr/bin/python3 - "$work" <<'PY'
import struct, sys
work = sys.argv[1]
def tga(path, rgba, size=8):
    header = struct.pack('<BBBHHBHHHHBB', 0, 0, 2, 0, 0, 0, 0, 0, size, size, 32, 8)
    r, g, b, a = rgba
    with open(path, 'wb') as f:
        f.write(header + bytes([b, g, r, a]) * (size * size))
faces = ['px', 'nx', 'py', 'ny', 'pz', 'nz']
for i, face in enumerate(faces):
    tga(f'{work}/data/{face}.tga', (40 * i, 200 - 30 * i, 90, 255))
tga(f'{work}/data/wood.tga', (150, 100, 50, 255))
tga(f'{work}/data/brel.tga', (20, 180, 220, 255), 4)
with open(f'{work}/data/show.shader', 'w') as f:
    f.write('#version 110\n#vertexshader\nvoid main() { gl_Position = ftransform(); }\n'
            '#fragmentshader\nvoid main() { gl_FragColor = vec4(1.0, 0.5, 0.0, 1.0); }\n')
PY

cat >"$work/vornscr/script.txt" <<'SCRIPT'
palette {
 night (0.05 0.05 0.1 1)
 sea (0.2 0.4 0.6 1)
}
texture {
 name wood
 texturefile "data/wood.tga"
}
breltexture {
 name brel
 texturefile "data/brel.tga"
}
cubemap {
 name sky
 posx "px.tga"
 negx "nx.tga"
 posy "py.tga"
 negy "ny.tga"
 posz "pz.tga"
 negz "nz.tga"
}
shader {
 name glow
 shaderfile "show.shader"
}
rotate {
 name orbit
 prio 10
 timescale 0.5
 position (10 0 0)
 scale 2
}
camera {
 name cam
 prio 20
 transform orbit
 fov 60
}
light {
 name sun
 prio 20
 transform "orbit.transform"
}
generatedcubemap {
 name reflection
 prio 30
 nearplane 0.5
 farplane 200
 texturesize 512
 transform "cam.transform"
 clear {
  color sea
 }
 grid {
 }
 nullobj {
  transform "orbit.transform"
 }
}
clear {
 prio 40
 color night
}
grid {
 prio 50
}
nullobj {
 prio 60
 transform "cam.transform"
}
SCRIPT
[ "$1" = "--prepare" ] && exit 0

log="$work/log"
cd "$work"
XDG_CONFIG_HOME="$work/config" VORNSCR_LOG="$log" "$here/xvfb.sh" run "$display_dir" "$program" >"$work/output" 2>&1 &
pid=$!
sleep 4
kill -0 "$pid" 2>/dev/null || { echo "the show ended before the mouse moved"; cat "$work/output"; exit 1; }
"$here/xvfb.sh" run "$display_dir" xdotool mousemove_relative -- 40 30
for _ in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "the show did not end on a mouse move"
  kill "$pid"
  exit 1
fi
status=0
wait "$pid" || status=$?
fail=0
[ "$status" -eq 0 ] || { echo "exit code $status"; fail=1; }
grep -q "^OpenGL: error" "$log" && { echo "GL error:"; grep "^OpenGL: error" "$log"; fail=1; }
grep -q "Compiling shader 'data/show.shader'... ok" "$log" || { echo "shader not built"; fail=1; }
grep -q "SCRIPT: generatedcubemap" "$log" && { echo "planes were replaced"; fail=1; }
[ "$(grep -c '^#[0-9]: rect=' "$log")" -ge 2 ] || { echo "not two monitors"; fail=1; }
[ "$fail" -eq 0 ] || { echo "--- log"; cat "$log"; }
exit "$fail"
