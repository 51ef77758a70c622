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
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time

PROGRAM, SHOW = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
FRAMES = int(sys.argv[3]) if len(sys.argv) > 3 else 200
SIZES = ((640, 480), (1920, 1080))
SHORT = 10
# Mesa, LLVM and the shader code LLVM generates at run time (shown as [JIT]).
DRIVER = re.compile(r"(gallium|swrast|_dri\.so|LLVM|libGL|glapi|libGLX|libEGL|llvmpipe|\[JIT\])", re.I)


def start_display(width, height, workdir):
    for n in range(200, 300):
        if os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists("/tmp/.X11-unix/X%d" % n):
            continue
        server = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "%dx%dx24" % (width, height),
                                   "-noreset", "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=open(os.path.join(workdir, "xvfb.log"), "w"))
        for _ in range(100):
            if subprocess.run(["xdpyinfo", "-display", ":%d" % n], capture_output=True).returncode == 0:
                return server, ":%d" % n
            if server.poll() is not None:
                break
            time.sleep(0.1)
        server.kill()
        server.wait()
    sys.exit("no display could be started")


def play(display, workdir, frames, wrapper=()):
    env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=os.path.join(workdir, "config"),
               MESA_SHADER_CACHE_DISABLE="true")
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    result = subprocess.run([*wrapper, PROGRAM, "-frames", str(frames)], cwd=workdir, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode != 0:
        sys.exit("the show ended with status %d" % result.returncode)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def driver_share(display, workdir, frames):
    data = os.path.join(workdir, "perf.data")
    play(display, workdir, frames, ("perf", "record", "-q", "-F", "499", "-o", data, "--"))
    report = subprocess.run(["perf", "report", "-i", data, "--sort", "dso", "--stdio"], capture_output=True,
                            text=True).stdout
    shares = {}
    for line in report.splitlines():
        m = re.match(r"\s*([0-9.]+)%\s+(\S+)", line)
        if m:
            shares[m.group(2)] = float(m.group(1))
    driver = sum(v for k, v in shares.items() if DRIVER.search(k))
    kernel = sum(v for k, v in shares.items() if "kernel" in k)
    program = shares.get(os.path.basename(PROGRAM), 0.0)
    top = sorted(shares.items(), key=lambda kv: -kv[1])[:6]
    return 100.0 - driver, kernel, program, top


def main():
    print("built-in show, %d frames after %d frames of warm-up, Mesa software rendering; profile over "
          "the whole run, start-up included" % (FRAMES, SHORT))
    for width, height in SIZES:
        workdir = tempfile.mkdtemp(prefix="vornscr_bench_")
        server = None
        try:
            shutil.copytree(SHOW, workdir, dirs_exist_ok=True)
            os.makedirs(os.path.join(workdir, "config", "vornscr"))
            with open(os.path.join(workdir, "config", "vornscr", "registry"), "w") as f:
                f.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornScr]\nDir=%s\n" % workdir)
            server, display = start_display(width, height, workdir)
            short_wall, short_cpu = play(display, workdir, SHORT)
            long_wall, long_cpu = play(display, workdir, SHORT + FRAMES)
            fps = FRAMES / max(long_wall - short_wall, 1e-9)
            cpu_ms = (long_cpu - short_cpu) / FRAMES * 1000
            line = "%4dx%-4d  %7.1f fps  %7.2f ms CPU per frame" % (width, height, fps, cpu_ms)
            if shutil.which("perf"):
                outside, kernel, program, top = driver_share(display, workdir, SHORT + FRAMES)
                line += "\n           %.1f%% of CPU time outside the GL driver (kernel %.1f%%, the program itself %.1f%%)" % (
                    outside, kernel, program)
                line += "\n           top: " + ", ".join("%s %.1f%%" % kv for kv in top)
            print(line, flush=True)
        finally:
            if server:
                server.kill()
                server.wait()
            shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    main()
