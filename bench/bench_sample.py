#!/usr/bin/python3
"""Start-up and frame time of the generated sample show on Mesa's software renderer.

Usage: bench_sample.py TOOL PROGRAM [FRAMES]

Start-up: the wall time of a run of one frame, cold (a freshly generated show, no caches) and
warm (the same show again, its caches written by the cold run); best of three each.
Frames: at 1920x1080 on one monitor, a long run minus a short one gives the cost of the frames
alone (the median and the spread of three long runs); a perf profile of a long run splits the
CPU time into the GL driver and the rest.
"""
import os
import subprocess
import sys

import showbench

TOOL, PROGRAM = (os.path.abspath(p) for p in sys.argv[1:3])
# Enough frames for several models and sweeps of the screens at the frame rate aimed at.
FRAMES = int(sys.argv[3]) if len(sys.argv) > 3 else 300
SHORT = 5
RUNS = 3


def fresh_show(parent, name):
    show = os.path.join(parent, name)
    subprocess.run([TOOL, "sample", show], check=True, stdout=subprocess.DEVNULL)
    return showbench.registered(show)


def main():
    with showbench.scratch("vornscr_bench_sample_") as parent, \
            showbench.virtual_display(1920, 1080, parent) as display:
        cold, warm = [], []
        for i in range(3):
            show = fresh_show(parent, "show%d" % i)
            cold.append(showbench.play(PROGRAM, display, show, 1)[0])
            warm.append(showbench.play(PROGRAM, display, show, 1)[0])
        print("sample show start-up (one frame, 1920x1080): cold %.2f s, warm %.2f s (best of 3)"
              % (min(cold), min(warm)))
        runs = [showbench.frame_cost(PROGRAM, display, show, SHORT, FRAMES) for _ in range(RUNS)]
        fps = sorted(r[0] for r in runs)
        cpu_ms = [r[1] for r in runs]
        print("sample show at 1920x1080, %d frames, %d runs: %.1f fps (%.1f-%.1f), %.1f-%.1f ms CPU per frame"
              % (FRAMES, RUNS, fps[RUNS // 2], fps[0], fps[-1], min(cpu_ms), max(cpu_ms)) +
              showbench.profile_lines(PROGRAM, display, show, SHORT + FRAMES, "  "), flush=True)


main()
