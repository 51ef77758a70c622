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
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
TOOL = os.path.abspath(sys.argv[1])
sys.argv = [sys.argv[0], sys.argv[2], "/nonexistent"] + sys.argv[3:]
import bench_show as common  # noqa: E402  (its main runs only when started as a script)

# Enough frames for several models and sweeps of the screens at the frame rate aimed at.
FRAMES = int(sys.argv[3]) if len(sys.argv) > 3 else 300
SHORT = 5
RUNS = 3


def fresh_show(parent, name):
    show = os.path.join(parent, name)
    subprocess.run([TOOL, "sample", show], check=True, stdout=subprocess.DEVNULL)
    os.makedirs(os.path.join(show, "config", "vornscr"))
    with open(os.path.join(show, "config", "vornscr", "registry"), "w") as f:
        f.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornScr]\nDir=%s\n" % show)
    return show


def main():
    parent = tempfile.mkdtemp(prefix="vornscr_bench_sample_")
    server = None
    try:
        server, display = common.start_display(1920, 1080, parent)
        cold, warm = [], []
        for i in range(3):
            show = fresh_show(parent, "show%d" % i)
            cold.append(common.play(display, show, 1)[0])
            warm.append(common.play(display, show, 1)[0])
        print("sample show start-up (one frame, 1920x1080): cold %.2f s, warm %.2f s (best of 3)"
              % (min(cold), min(warm)))
        short_wall, short_cpu = common.play(display, show, SHORT)
        fps, cpu_ms = [], []
        for _ in range(RUNS):
            long_wall, long_cpu = common.play(display, show, SHORT + FRAMES)
            fps.append(FRAMES / max(long_wall - short_wall, 1e-9))
            cpu_ms.append((long_cpu - short_cpu) / FRAMES * 1000)
        line = "sample show at 1920x1080, %d frames, %d runs: %.1f fps (%.1f-%.1f), %.1f-%.1f ms CPU per frame" % (
            FRAMES, RUNS, sorted(fps)[RUNS // 2], min(fps), max(fps), min(cpu_ms), max(cpu_ms))
        if shutil.which("perf"):
            outside, kernel, program, top = common.driver_share(display, show, SHORT + FRAMES)
            line += "\n  %.1f%% of CPU time outside the GL driver (kernel %.1f%%, the program itself %.1f%%)" % (
                outside, kernel, program)
            line += "\n  top: " + ", ".join("%s %.1f%%" % kv for kv in top)
        print(line, flush=True)
    finally:
        if server:
            server.kill()
            server.wait()
        shutil.rmtree(parent, ignore_errors=True)


main()
