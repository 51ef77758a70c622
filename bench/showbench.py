"""What the show benchmarks share: a virtual display, timed plays of a show directory, the cost
of frames alone, and a perf profile split into the GL driver and everything else."""
import contextlib
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time

# Mesa, LLVM and the shader code LLVM generates at run time (shown as [JIT]).
DRIVER = re.compile(r"(gallium|swrast|_dri\.so|LLVM|libGL|glapi|libGLX|libEGL|llvmpipe|\[JIT\])", re.I)


@contextlib.contextmanager
def scratch(prefix):
    path = tempfile.mkdtemp(prefix=prefix)
    try:
        yield path
    finally:
        shutil.rmtree(path, ignore_errors=True)


@contextlib.contextmanager
def virtual_display(width, height, workdir):
    for n in range(200, 300):
        if os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists("/tmp/.X11-unix/X%d" % n):
            continue
        server = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "%dx%dx24" % (width, height),
                                   "-noreset", "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=open(os.path.join(workdir, "xvfb.log"), "w"))
        try:
            for _ in range(100):
                if subprocess.run(["xdpyinfo", "-display", ":%d" % n], capture_output=True).returncode == 0:
                    yield ":%d" % n
                    return
                if server.poll() is not None:
                    break
                time.sleep(0.1)
        finally:
            server.kill()
            server.wait()
    sys.exit("no display could be started")


def registered(show):
    """Points the program's settings at SHOW, as an installed screensaver's would."""
    os.makedirs(os.path.join(show, "config", "vornscr"), exist_ok=True)
    with open(os.path.join(show, "config", "vornscr", "registry"), "w") as f:
        f.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornScr]\nDir=%s\n" % show)
    return show


def play(program, display, show, frames, wrapper=()):
    """Wall and CPU seconds of one run of FRAMES frames."""
    env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=os.path.join(show, "config"),
               MESA_SHADER_CACHE_DISABLE="true")
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    result = subprocess.run([*wrapper, program, "-frames", str(frames)], cwd=show, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode != 0:
        sys.exit("the show ended with status %d" % result.returncode)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def frame_cost(program, display, show, short, frames):
    """Frames per second and CPU milliseconds per frame without start-up: a run of SHORT + FRAMES
    frames minus a run of SHORT frames."""
    short_wall, short_cpu = play(program, display, show, short)
    long_wall, long_cpu = play(program, display, show, short + frames)
    return frames / max(long_wall - short_wall, 1e-9), (long_cpu - short_cpu) / frames * 1000


def profile_lines(program, display, show, frames, indent):
    """Where the CPU time goes, as two report lines; nothing without perf."""
    if not shutil.which("perf"):
        return ""
    data = os.path.join(show, "perf.data")
    play(program, display, show, frames, ("perf", "record", "-q", "-F", "499", "-o", data, "--"))
    report = subprocess.run(["perf", "report", "-i", data, "--sort", "dso", "--stdio"], capture_output=True,
                            text=True).stdout
    shares = {}
    for line in report.splitlines():
        m = re.match(r"\s*([0-9.]+)%\s+(\S+)", line)
        if m:
            shares[m.group(2)] = float(m.group(1))
    driver = sum(v for k, v in shares.items() if DRIVER.search(k))
    kernel = sum(v for k, v in shares.items() if "kernel" in k)
    own = shares.get(os.path.basename(program), 0.0)
    top = sorted(shares.items(), key=lambda kv: -kv[1])[:6]
    return ("\n%s%.1f%% of CPU time outside the GL driver (kernel %.1f%%, the program itself %.1f%%)"
            "\n%stop: %s" % (indent, 100.0 - driver, kernel, own, indent,
                             ", ".join("%s %.1f%%" % kv for kv in top)))
