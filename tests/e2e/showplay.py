"""Plays a show directory with the real program until a mouse move ends it.

Shared by the scripts that play whole shows on the virtual display.
"""
import os
import re
import subprocess
import sys
import time

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


def play(program, xvfb_dir, root, show, seconds, during=None):
    """Plays the show for some seconds of show time, ends it with a mouse move and returns its
    log; fails on an early end, a hang, an exit status other than 0 or an error line. during,
    when given, is called with the environment once per second of play."""
    with open(os.path.join(xvfb_dir, "display")) as f:
        display = f.read().strip()
    env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=os.path.join(root, "config"),
               HOME=os.path.join(root, "home"), VORNSCR_LOG=os.path.join(root, "log.txt"))
    for d in ("config/vornscr", "home"):
        os.makedirs(os.path.join(root, d), exist_ok=True)
    with open(os.path.join(root, "config/vornscr/registry"), "w") as f:
        f.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornScr]\nDir=%s\n" % show)
    if os.path.exists(env["VORNSCR_LOG"]):
        os.remove(env["VORNSCR_LOG"])
    proc = subprocess.Popen([program], cwd=show, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    # Show time starts with the first frame, after loading; the root group is the last effect
    # read, and frames follow.
    start = time.monotonic()
    while time.monotonic() - start < GUARD and proc.poll() is None:
        if re.search(r"ms for group$", read(env["VORNSCR_LOG"]), re.M):
            break
        time.sleep(0.2)
    for _ in range(seconds):
        time.sleep(1)
        if during:
            during(env)
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
    return log
