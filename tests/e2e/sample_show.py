#!/usr/bin/python3
"""Plays the generated sample show on the two-monitor virtual display.

Usage: sample_show.py TOOL PROGRAM XVFB_DIR

The first run starts without caches and plays for more than 20 seconds of show time; a mouse
move ends it. The second run has its caches: the archive's models and the LightWave objects are
spoiled beforehand, so any read of them would change a cache or the log.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from showplay import fail, play as play_show  # noqa: E402

TOOL, PROGRAM, XVFB_DIR = (os.path.abspath(p) for p in sys.argv[1:4])
VORNMODELS = ["torus", "globe", "star", "vase", "spring"]
LIGHTWAVE = ["crystal.lwo", "knot.lwo"]
EXPORTED = ["textures/marble.tga", "textures/lava.tga", "textures/decals/stripes.tga",
            "textures/decals/rings.tga"]


def play(root, show, seconds):
    return play_show(PROGRAM, XVFB_DIR, root, show, seconds)


def snapshot(paths):
    return {p: (os.stat(p).st_mtime_ns, open(p, "rb").read()) for p in paths}


def main():
    root = tempfile.mkdtemp(prefix="vornscr_sample_")
    try:
        show = os.path.join(root, "show")
        subprocess.run([TOOL, "sample", show], check=True)
        # The show an author starts from passes the author's own check.
        checked = subprocess.run([TOOL, "check", show], capture_output=True, text=True)
        if checked.returncode != 0:
            fail("the sample show does not check clean", checked.stdout + checked.stderr)
        log = play(root, show, 22)
        if len(re.findall(r"^#[0-9]: rect=", log, re.M)) < 2:
            fail("not two monitors", log)
        for shader in ("surface", "mirror"):
            if "Compiling shader 'data/%s.shader'... ok" % shader not in log:
                fail("shader not built: " + shader, log)

        caches = [os.path.join(show, "vornscr/cache", m + ".bin") for m in VORNMODELS]
        caches += [os.path.join(show, "data", m + ".bin") for m in LIGHTWAVE]
        for cache in caches:
            if not os.path.isfile(cache) or os.path.getsize(cache) < 100:
                fail("no cache " + cache, log)
        for name in EXPORTED:
            path = os.path.join(show, "export", name)
            if not os.path.isfile(path):
                fail("not exported: " + path, log)
            with open(path, "rb") as f:
                header = f.read(18)
            if header[2] != 2 or header[16] != 32:
                fail("not a 32-bit TGA file: " + path)

        # Spoil every model source: the archive's models keep their size, so the archive's
        # directory and textures stay readable.
        before = snapshot(caches)
        with open(os.path.join(show, "data/sample.stuff"), "r+b") as f:
            data = bytearray(f.read())
        for m in ["models/torus.mdl", "models/globe.mdl", "models/star.mdl",
                  "models/shapes/vase.mdl", "models/shapes/spring.mdl"]:
            name = m.replace("/", "\\").encode()
            size = os.path.getsize(os.path.join(show, "archive", m))
            content = open(os.path.join(show, "archive", m), "rb").read()
            at = data.find(content)
            if at < 0 or name not in data:
                fail("archive layout not as packed: " + m)
            data[at:at + size] = b"\xEE" * size
        with open(os.path.join(show, "data/sample.stuff"), "wb") as f:
            f.write(data)
        for m in LIGHTWAVE:
            with open(os.path.join(show, "data", m), "wb") as f:
                f.write(b"FORM")
        shutil.rmtree(os.path.join(show, "export"))

        log = play(root, show, 3)
        if snapshot(caches) != before:
            fail("a cache was written again", log)
        if "Unknown number of texcoords" in log or "CEffect_VornModel" in log:
            fail("the archive's models were read", log)
        if not os.path.isfile(os.path.join(show, "export", EXPORTED[0])):
            fail("textures not exported again", log)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("ok")


main()
