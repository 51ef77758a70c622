#!/usr/bin/python3
"""Builds a show from the folder of real model files and plays it on the virtual display.

Usage: import_show.py TOOL PROGRAM XVFB_DIR MODELS_DIR

The show must start from its caches (no model is converted at start), draw the catalogue's
models over the backdrop for several seconds without an error line, and end with 0 on a
mouse move.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from showplay import fail, play  # noqa: E402

TOOL, PROGRAM, XVFB_DIR, MODELS = (os.path.abspath(p) for p in sys.argv[1:5])


# The wireframe colours the tool cycles through; the screens and solids are dimmer.
WIRES = [(255, 204, 51), (51, 230, 255), (255, 89, 128), (153, 255, 51), (255, 140, 25),
         (153, 102, 255), (242, 235, 204), (115, 178, 255)]


def wire_pixels(env, path):
    """Pixels of the first monitor in a wireframe colour."""
    subprocess.run(["import", "-window", "root", path], env=env, check=True)
    image = Image.open(path).convert("RGB").crop((0, 0, 1024, 768))
    return sum(n for n, c in image.getcolors(1024 * 768)
               if min(sum(abs(a - b) for a, b in zip(c, w)) for w in WIRES) < 40)


def main():
    root = tempfile.mkdtemp(prefix="vornscr_import_")
    try:
        show = os.path.join(root, "show")
        made = subprocess.run([TOOL, "show", show, MODELS], capture_output=True, text=True)
        if made.returncode != 0:
            fail("show exited %d" % made.returncode, made.stdout + made.stderr)
        imported = int(re.search(r"^(\d+) models imported", made.stdout, re.M).group(1))

        drawn = []
        shot = os.path.join(root, "shot.png")
        log = play(PROGRAM, XVFB_DIR, root, show, 9,
                   lambda env: drawn.append(wire_pixels(env, shot)) if len(drawn) < 6 else None)
        if len(re.findall(r"ms for model$", log, re.M)) != imported:
            fail("not one model block per imported model", log)
        if "Material:" in log:
            fail("a model was converted at start instead of read from its cache", log)
        if max(drawn) < 100:
            fail("no wireframe of the catalogue on screen: %s" % drawn, log)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("ok, wireframe pixels:", drawn)


main()
