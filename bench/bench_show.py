#!/usr/bin/python3
"""Frames per second and CPU time per frame of the built-in show on a virtual display, and
the share of CPU time spent outside the GL driver.

Usage: bench_show.py PROGRAM SHOW_DIR [FRAMES]

For each screen size a virtual display with one monitor of that size is started; the show is
played twice, with a few frames and with FRAMES frames, and the difference gives the cost
of the frames alone, without start-up. A perf profile of the long run is split by shared
object into the driver (Mesa, LLVM, GL dispatch) and everything else.
"""
import os
import shutil
import sys

import showbench

PROGRAM, SHOW = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
FRAMES = int(sys.argv[3]) if len(sys.argv) > 3 else 200
SIZES = ((640, 480), (1920, 1080))
SHORT = 10


def main():
    print("built-in show, %d frames after %d frames of warm-up, Mesa software rendering; profile over "
          "the whole run, start-up included" % (FRAMES, SHORT))
    for width, height in SIZES:
        with showbench.scratch("vornscr_bench_") as workdir:
            shutil.copytree(SHOW, workdir, dirs_exist_ok=True)
            showbench.registered(workdir)
            with showbench.virtual_display(width, height, workdir) as display:
                fps, cpu_ms = showbench.frame_cost(PROGRAM, display, workdir, SHORT, FRAMES)
                print("%4dx%-4d  %7.1f fps  %7.2f ms CPU per frame" % (width, height, fps, cpu_ms) +
                      showbench.profile_lines(PROGRAM, display, workdir, SHORT + FRAMES, " " * 11), flush=True)


main()
