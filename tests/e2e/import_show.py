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
import time

from PIL import Image

TOOL, PROGRAM, XVFB_DIR, MODELS = (os.path.abspath(p) for p in sys.argv[1:5])
with open(os.path.join(XVFB_DIR, "display")) as f:
    DISPLAY = f.read().strip()
GUARD = 120  # seconds; only against hangs


def fail(message, log=""):
    print("FAIL:", message)
    if log:
        print("--- log\n" + log)
    sys.exit(1)


def read(path):
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


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

        env = dict(os.environ, DISPLAY=DISPLAY, XDG_CONFIG_HOME=os.path.join(root, "config"),
                   HOME=os.path.join(root, "home"), VORNSCR_LOG=os.path.join(root, "log.txt"))
        os.makedirs(os.path.join(root, "config/vornscr"))
        os.makedirs(env["HOME"])
        with open(os.path.join(root, "config/vornscr/registry"), "w") as f:
            f.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornScr]\nDir=%s\n" % show)
        proc = subprocess.Popen([PROGRAM], cwd=show, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        start = time.monotonic()
        while time.monotonic() - start < GUARD and proc.poll() is None:
            if re.search(r"ms for group$", read(env["VORNSCR_LOG"]), re.M):
                break
            time.sleep(0.2)
        drawn = []
        for _ in range(6):
            time.sleep(1.5)
            drawn.append(wire_pixels(env, os.path.join(root, "shot.png")))
        if proc.poll() is not None:
            fail("the show ended before the mouse moved", read(env["VORNSCR_LOG"]))
        subprocess.run(["xdotool", "mousemove_relative", "--", "40", "30"], env=env, check=True)
        try:
            status = proc.wait(GUARD)
        except subprocess.TimeoutExpired:
            proc.kill()
            fail("the show did not end on a mouse move")
        log = read(env["VORNSCR_LOG"])
        if status != 0:
            fail("exit status %d" % status, log)
        bad = [line for line in log.splitlines()
               if line.startswith("OpenGL: error") or "ERROR" in line or "MEMORY DAMAGE" in line
               or line.startswith("Error")]
        if bad:
            fail("bad log lines: %s" % bad, log)
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
