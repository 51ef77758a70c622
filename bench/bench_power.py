#!/usr/bin/python3
"""CPU use of the sample show with and without a frame-rate limit, on Mesa's software renderer.

Usage: bench_power.py TOOL PROGRAM [SECONDS] [RUNS]

Each run plays the generated sample show on a virtual display; once it is built, the CPU time
of the process (user + system, from /proc) over SECONDS of wall time gives its CPU use, in
per cent of one core. Full screen at 1920x1080 and in an 800x600 window, with no switch,
with -maxfps 30 and with -maxfps 10; the median and the min-max spread over RUNS runs.
"""
import os
import signal
import statistics
import subprocess
import sys
import time

import showbench

TOOL, PROGRAM = (os.path.abspath(p) for p in sys.argv[1:3])
SECONDS = float(sys.argv[3]) if len(sys.argv) > 3 else 10
RUNS = int(sys.argv[4]) if len(sys.argv) > 4 else 3
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def cpu_use(display, show, args):
    log = os.path.join(show, "log.txt")
    if os.path.exists(log):
        os.remove(log)
    env = dict(os.environ, DISPLAY=display, VORNSCR_DIR=show, VORNSCR_LOG=log, MESA_SHADER_CACHE_DISABLE="true")
    proc = subprocess.Popen([PROGRAM, *args], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 300
        while time.monotonic() < deadline:
            if os.path.exists(log):
                with open(log, errors="replace") as f:
                    if "ms for group\n" in f.read():
                        break
            if proc.poll() is not None:
                raise SystemExit("the show ended before it was built")
            time.sleep(0.2)
        time.sleep(1)  # the first frames upload textures and compile shaders
        before, start = cpu_seconds(proc.pid), time.monotonic()
        time.sleep(SECONDS)
        return 100 * (cpu_seconds(proc.pid) - before) / (time.monotonic() - start)
    finally:
        proc.send_signal(signal.SIGTERM)
        proc.wait(60)


def main():
    with showbench.scratch("vornscr_bench_power_") as parent, \
            showbench.virtual_display(1920, 1080, parent) as display:
        show = os.path.join(parent, "show")
        subprocess.run([TOOL, "sample", show], check=True, stdout=subprocess.DEVNULL)
        for label, args in (("1920x1080", []), ("800x600 window", ["-window"])):
            for limit in ([], ["-maxfps", "30"], ["-maxfps", "10"]):
                figures = [cpu_use(display, show, args + limit) for _ in range(RUNS)]
                print("%-15s %-11s CPU %5.1f%% of one core (min %.1f, max %.1f, %d runs of %.0f s)" %
                      (label, " ".join(limit) or "no limit", statistics.median(figures), min(figures), max(figures),
                       RUNS, SECONDS), flush=True)


main()
