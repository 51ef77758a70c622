#!/usr/bin/python3
"""End-to-end tests: the real program on the two-monitor virtual display.

Usage: e2e.py PROGRAM X11_WINDOW XVFB_DIR CASE

Every case runs the program from a temporary data directory with its own XDG_CONFIG_HOME
and HOME, so the user's registry file is never touched. Timeouts only guard against hangs.
"""
import io
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from PIL import Image

PROGRAM, X11_WINDOW, XVFB_DIR = (os.path.abspath(p) for p in sys.argv[1:4])
CASE = sys.argv[4]
with open(os.path.join(XVFB_DIR, "display")) as f:
    DISPLAY = f.read().strip()

MON0 = (0, 0, 1024, 768)
MON1 = (1024, 0, 1824, 600)
UNCOVERED = (1024, 600, 1824, 768)  # part of the screen that no monitor shows
GUARD = 60  # seconds; only against hangs


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Run:
    """One temporary data directory, config directory and home, and the program in them."""

    def __init__(self, script=None):
        self.root = tempfile.mkdtemp(prefix="vornscr_e2e_")
        self.data = os.path.join(self.root, "show")
        self.config = os.path.join(self.root, "config")
        self.home = os.path.join(self.root, "home")
        self.logfile = os.path.join(self.root, "log.txt")
        for d in (self.data, self.config, self.home):
            os.makedirs(d)
        if script is not None:
            self.write_script(self.data, script)
        self.proc = None

    @staticmethod
    def write_script(directory, text):
        os.makedirs(os.path.join(directory, "vornscr"), exist_ok=True)
        with open(os.path.join(directory, "vornscr", "script.txt"), "w") as f:
            f.write(text)

    def env(self):
        env = dict(os.environ)
        env.update(DISPLAY=DISPLAY, XDG_CONFIG_HOME=self.config, HOME=self.home, VORNSCR_LOG=self.logfile)
        return env

    def start(self, *args, cwd=None, env=None):
        self.proc = subprocess.Popen([PROGRAM, *args], cwd=cwd or self.data, env=dict(self.env(), **(env or {})),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait(self, timeout=GUARD):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise Failure("the program did not end:\n" + self.log())

    def run(self, *args, cwd=None):
        self.start(*args, cwd=cwd)
        return self.wait()

    def log(self):
        try:
            with open(self.logfile, errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def registry(self):
        path = os.path.join(self.config, "vornscr", "registry")
        with open(path) as f:
            return f.read()

    def running(self):
        return self.proc.poll() is None

    def close(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.root, ignore_errors=True)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=DISPLAY), capture_output=True,
                          text=True, timeout=GUARD)


def show_windows():
    return xdotool("search", "--name", "^VornModelViewer$").stdout.split()


def screen():
    xwd = subprocess.run(["xwd", "-root", "-silent", "-display", DISPLAY], capture_output=True, check=True,
                         timeout=GUARD).stdout
    png = subprocess.run(["convert", "xwd:-", "png:-"], input=xwd, capture_output=True, check=True,
                         timeout=GUARD).stdout
    return Image.open(io.BytesIO(png)).convert("RGB")


def region_colours(image, box):
    """The colours of a screen rectangle and their pixel counts."""
    return {colour: count for count, colour in image.crop(box).getcolors(maxcolors=1 << 20)}


def filled(image, box, rgb, tolerance=2):
    colours = region_colours(image, box)
    return len(colours) == 1 and all(abs(a - b) <= tolerance for a, b in zip(next(iter(colours)), rgb))


def byte(v):
    return int(v * 255 + 0.5)


def wait_until(condition, what, run, timeout=GUARD):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        check(run.running(), "the program ended while waiting for " + what + ":\n" + run.log())
        time.sleep(0.2)
    raise Failure("timed out waiting for " + what + ":\n" + run.log())


def wait_for_show(run, windows=2):
    """Until the program draws its frames: the script was built and every window is up."""
    wait_until(lambda: "[DEMOSYS]" in run.log() and len(show_windows()) == windows, "the show", run)


SKY = "palette {\nsky (0.2 0.3 0.5 1)\n}\nclear {\ncolor sky\n}\n"
SKY_RGB = (byte(0.2), byte(0.3), byte(0.5))


# --- cases -------------------------------------------------------------------------------------

def case_switches_end_without_a_window():
    for args in (["/p", "1234"], ["/c"], ["/c:5678"], ["-frames", "3", "/p"], ["-install"],
                 ["-frames", "3", "-install"], ["x-installer"]):
        run = Run(SKY)
        try:
            rc = run.run(*args)
            check(rc == 255, "%s: exit status %d" % (args, rc))
            log = run.log()
            check("#0: rect=" not in log and "Computer: " not in log, "%s: the show started:\n%s" % (args, log))
        finally:
            run.close()


def case_missing_script_ends_with_minus_one():
    run = Run()
    try:
        rc = run.run("-frames", "3")
        check(rc == 255, "exit status %d" % rc)
        check("#0: rect=" not in run.log(), "a device was made:\n" + run.log())
        check("Computer: " in run.log(), "the start-up did not log:\n" + run.log())
    finally:
        run.close()


def case_malformed_script_logs_the_error():
    for script in ("clear {\ncolor 1.5e3\n}\n", "clear {\ncolor sky\n}\n#\n"):
        run = Run(script)
        try:
            rc = run.run("-frames", "3")
            check(rc == 255, "exit status %d" % rc)
            check("Error: error\n" in run.log(), "no error line:\n" + run.log())
            check("#0: rect=" not in run.log(), "a device was made:\n" + run.log())
        finally:
            run.close()


def case_palette_colour_fills_every_monitor_and_escape_ends():
    run = Run(SKY)
    try:
        run.start()
        wait_for_show(run)
        wait_until(lambda: filled(screen(), MON0, SKY_RGB) and filled(screen(), MON1, SKY_RGB),
                   "both monitors in the palette colour", run)
        check(not filled(screen(), UNCOVERED, SKY_RGB), "the show drew outside the monitors")
        # The key is held for a few milliseconds only.
        xdotool("key", "Escape")
        check(run.wait() == 0, "Escape: exit status %d" % run.proc.returncode)
    finally:
        run.close()


def case_mouse_moves():
    run = Run(SKY)
    try:
        run.start()
        wait_for_show(run)
        wait_until(lambda: filled(screen(), MON0, SKY_RGB), "the first frames", run)
        # One pixel along one axis from where the show began: it goes on.
        for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            xdotool("mousemove_relative", "--", str(dx), str(dy))
            time.sleep(1.0)
            check(run.running(), "a move of (%d, %d) ended the show" % (dx, dy))
        # One pixel on both axes: the distance is more than one pixel.
        xdotool("mousemove_relative", "--", "1", "1")
        check(run.wait() == 0, "exit status %d" % run.proc.returncode)
    finally:
        run.close()


def case_close_request_ends_with_zero():
    run = Run(SKY)
    try:
        run.start()
        wait_for_show(run)
        windows = show_windows()
        subprocess.run([X11_WINDOW, "close", windows[-1]], env=dict(os.environ, DISPLAY=DISPLAY), check=True, timeout=GUARD)
        check(run.wait() == 0, "exit status %d" % run.proc.returncode)
    finally:
        run.close()


def case_two_monitors_two_windows_drawn_every_frame():
    # Red for the first seconds, then blue: both monitors must show both. The red phase is long
    # enough for a screenshot on a busy machine.
    script = ("palette {\nred (1 0 0 1)\nblue (0 0 1 1)\n}\n"
              "clear {\ncolor red\nendtime 10\n}\nclear {\ncolor blue\nstarttime 10\n}\n")
    run = Run(script)
    try:
        run.start()
        wait_for_show(run)
        sizes = []
        for window in show_windows():
            geometry = xdotool("getwindowgeometry", window).stdout
            sizes.append(re.search(r"Geometry: (\d+x\d+)", geometry).group(1))
        check(sorted(sizes) == ["1024x768", "800x600"], "window sizes %s" % sizes)
        log = run.log()
        check(log.count('#0: rect=0,0,1024,768 size=1024,768') >= 1 and
              log.count('#1: rect=1024,0,1824,600 size=800,600') >= 1, "monitor lines:\n" + log)
        wait_until(lambda: filled(screen(), MON0, (255, 0, 0)) and filled(screen(), MON1, (255, 0, 0)),
                   "red on both monitors", run)
        wait_until(lambda: filled(screen(), MON0, (0, 0, 255)) and filled(screen(), MON1, (0, 0, 255)),
                   "blue on both monitors", run)
        xdotool("key", "Escape")
        check(run.wait() == 0, "exit status %d" % run.proc.returncode)
    finally:
        run.close()


def case_first_start_records_placeholder_and_stays():
    run = Run(SKY)
    try:
        rc = run.run("-frames", "3")
        check(rc == 0, "exit status %d:\n%s" % (rc, run.log()))
        check("Dir=replaceme" in run.registry(), "registry:\n" + run.registry())
        check("[DEMOSYS]" in run.log() and "for clear" in run.log(), "the script was not played:\n" + run.log())
        # The placeholder stays until an installation: a second start works the same way.
        rc = run.run("-frames", "3")
        check(rc == 0 and "Dir=replaceme" in run.registry(), "second start")
    finally:
        run.close()


def case_install_then_start_elsewhere():
    run = Run(SKY)
    try:
        rc = run.run("-install")
        check(rc == 255, "install: exit status %d" % rc)
        check("Dir=%s\n" % run.data in run.registry() + "\n", "registry:\n" + run.registry())
        copy = os.path.join(run.home, ".local", "bin", "vornscr")
        check(os.path.isfile(copy) and os.access(copy, os.X_OK), "no program at " + copy)
        with open(copy, "rb") as a, open(PROGRAM, "rb") as b:
            check(a.read() == b.read(), "the copy differs from the program")

        # Another directory without a script: the recorded one is played.
        elsewhere = os.path.join(run.root, "elsewhere")
        os.makedirs(elsewhere)
        rc = run.run("-frames", "3", cwd=elsewhere)
        check(rc == 0, "start elsewhere: exit status %d:\n%s" % (rc, run.log()))
        check("for clear" in run.log(), "the installed show was not played:\n" + run.log())

        # An installer location from the registry takes the copy instead.
        target = os.path.join(run.root, "screensavers") + "/"
        os.makedirs(target)
        with open(os.path.join(run.config, "vornscr", "registry"), "a") as f:
            f.write("\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer]\n"
                    "InstallerLocation=%s\n" % target)
        rc = run.run("-install", cwd=elsewhere)
        check(rc == 255, "second install: exit status %d" % rc)
        check(os.path.isfile(target + "vornscr"), "no program in the installer location")
        check("Dir=%s\n" % elsewhere in run.registry() + "\n", "registry:\n" + run.registry())
    finally:
        run.close()


def case_install_prints_the_host_entry():
    run = Run(SKY)
    try:
        done = subprocess.run([PROGRAM, "-install"], cwd=run.data, env=run.env(), capture_output=True, text=True,
                              timeout=GUARD)
        check(done.returncode == 255, "exit status %d" % done.returncode)
        copy = os.path.join(run.home, ".local", "bin", "vornscr")
        check("vornscr installed as %s\n" % copy in done.stdout, "no installation line:\n" + done.stdout)
        check("  GL: %s -root\n" % copy in done.stdout, "no entry for the host's list:\n" + done.stdout)
        # A copy that fails says nothing: here the directory is a plain file.
        shutil.rmtree(os.path.join(run.home, ".local", "bin"))
        with open(os.path.join(run.home, ".local", "bin"), "w") as f:
            f.write("not a directory")
        done = subprocess.run([PROGRAM, "-install"], cwd=run.data, env=run.env(), capture_output=True, text=True,
                              timeout=GUARD)
        check(done.returncode == 255 and done.stdout == "", "a failed copy printed:\n" + done.stdout)
    finally:
        run.close()


def case_log_lines_in_order():
    run = Run(SKY + "grid {\nname g\n}\n")
    try:
        rc = run.run("-frames", "3")
        check(rc == 0, "exit status %d" % rc)
        log = run.log()
        order = ["Computer: ", "CmdLine: -frames 3\n", "#0: rect=0,0,1024,768 size=1024,768 device=\"",
                 "#1: rect=1024,0,1824,600 size=800,600 device=\"", "Status: Using GLEW ", "Texture units: ",
                 "[DEMOSYS] "]
        positions = [log.find(line) for line in order]
        check(all(p >= 0 for p in positions), "missing lines %s:\n%s" %
              ([line for line, p in zip(order, positions) if p < 0], log))
        check(positions == sorted(positions), "out of order:\n" + log)
        check(re.search(r"Texture units: \d+/\d+\n", log), "texture units line:\n" + log)
        for keyword in ("palette", "clear", "grid", "group"):
            check(re.search(r"\[DEMOSYS\] [0-9.]+ ms for %s\n" % keyword, log), keyword + " not built:\n" + log)
    finally:
        run.close()


def case_builtin_show_plays():
    sample = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sample", "builtin", "vornscr",
                          "script.txt")
    with open(sample) as f:
        run = Run(f.read())
    try:
        rc = run.run("-frames", "5")
        check(rc == 0, "exit status %d:\n%s" % (rc, run.log()))
        log = run.log()
        for keyword, count in (("palette", 1), ("clear", 4), ("chain", 1), ("grid", 1)):
            found = len(re.findall(r"\[DEMOSYS\] [0-9.]+ ms for %s\n" % keyword, log))
            check(found == count, "%d %s blocks built, not %d:\n%s" % (found, keyword, count, log))
    finally:
        run.close()


LEAK = re.compile(r"Leaked memory: (\d+) KiB, (\d+) blocks")
# Effects and devices are left to process exit, with what they hold; nothing else may stay.
MUST_BE_RELEASED = ("container.cpp", "stream.cpp", "image.cpp", "appmain.cpp", "install.cpp",
                    "registry_posix.cpp", "main.cpp", "demosystem.cpp", "log.cpp", "mime.cpp")


def leak_report(script, frames):
    run = Run(script)
    try:
        rc = run.run("-frames", str(frames))
        check(rc == 0, "exit status %d:\n%s" % (rc, run.log()))
        log = run.log()
        report = LEAK.search(log)
        check(report, "no leak report:\n" + log)
        blocks = [line for line in log[report.end():].splitlines() if re.match(r"\S+\(\d+\)\s", line)]
        check(len(blocks) == int(report.group(2)), "report and listed blocks disagree:\n" + log)
        for line in blocks:
            source = os.path.basename(line.split("(")[0])
            check(source not in MUST_BE_RELEASED, "a block that should have been released:\n" + line)
        return int(report.group(2))
    finally:
        run.close()


def case_leak_report_lists_only_what_is_left_by_design():
    show = SKY + "grid {\nname g\n}\n"
    base = leak_report(show, 2)
    # More script (lines, values, unknown blocks, comments) and more frames leave nothing more.
    filler = "".join("unknown%d {\nvalue %d 2.5 \"text %d\" (1 2 3) word\n}\n// comment\n" % (i, i, i)
                     for i in range(50))
    check(leak_report(filler + show + filler, 40) == base, "blocks grew with the script or the frames")


def case_command_line_usage():
    # The usage on standard output, usage errors on standard error: no show starts.
    for args, status, where, text in ((["--help"], 0, "stdout", "VORNSCR_DIR"), (["-h"], 0, "stdout", "-maxfps N"),
                                      (["-frames"], 2, "stderr", "Error: -frames needs a number of frames"),
                                      (["-frames", "x"], 2, "stderr", 'frames (0 or more), not "x"'),
                                      (["-frames", "-1"], 2, "stderr", 'not "-1"'),
                                      (["-maxfps", "30fps"], 2, "stderr", 'Error: -maxfps needs')):
        run = Run(SKY)
        try:
            done = subprocess.run([PROGRAM, *args], cwd=run.data, env=run.env(), capture_output=True, text=True,
                                  timeout=GUARD)
            output = {"stdout": done.stdout, "stderr": done.stderr}
            check(done.returncode == status, "%s: exit status %d" % (args, done.returncode))
            check(text in output[where], "%s: %r not on %s:\n%s" % (args, text, where, output[where]))
            check("Computer: " not in run.log() and "Leaked" not in done.stderr, "%s: the show started" % args)
        finally:
            run.close()


def case_show_directory_from_the_environment():
    run = Run(SKY)
    try:
        elsewhere = os.path.join(run.root, "elsewhere")
        os.makedirs(elsewhere)
        run.start("-frames", "3", "-maxfps", "30", "-vsync", cwd=elsewhere, env={"VORNSCR_DIR": run.data})
        check(run.wait() == 0, "exit status %d:\n%s" % (run.proc.returncode, run.log()))
        check("Data directory: %s (VORNSCR_DIR)\n" % run.data in run.log() and "for clear" in run.log(),
              "the show of VORNSCR_DIR was not played:\n" + run.log())
        check(not os.path.exists(os.path.join(run.config, "vornscr")), "the registry was touched")
        run.start("-frames", "3", env={"VORNSCR_DIR": os.path.join(run.root, "missing")})
        check(run.wait() == 255, "a missing directory: exit status %d" % run.proc.returncode)
        check('Error: VORNSCR_DIR "%s/missing"' % run.root in run.log(), "no error line:\n" + run.log())
    finally:
        run.close()


def case_window_mode_leaves_the_mouse_free():
    run = Run(SKY)
    try:
        run.start("-window")
        wait_for_show(run, windows=1)
        xdotool("mousemove_relative", "--", "40", "30")
        time.sleep(1.0)
        check(run.running(), "the mouse ended the show in a window")
        xdotool("key", "Escape")
        check(run.wait() == 0, "Escape: exit status %d" % run.proc.returncode)
    finally:
        run.close()


def case_standard_error_shows_only_the_leak_summary():
    for verbose in (False, True):
        run = Run(SKY + "grid {\nname g\n}\n")
        try:
            done = subprocess.run([PROGRAM, "-frames", "2", *(["-verbose"] if verbose else [])], cwd=run.data,
                                  env=run.env(), capture_output=True, text=True, timeout=GUARD)
            check(done.returncode == 0, "exit status %d" % done.returncode)
            report = LEAK.search(done.stderr)
            check(report and int(report.group(2)) > 0, "no leak summary on standard error:\n" + done.stderr)
            listed = "Dumping blocks to logger" in done.stderr
            check(listed == verbose, "verbose=%s: the block list on standard error: %s" % (verbose, listed))
            check("Dumping blocks to logger" in run.log(), "no block list in the log file:\n" + run.log())
        finally:
            run.close()


# --- screensaver hosts ------------------------------------------------------------------------

class HostWindow:
    """A plain grey window that a test helper makes, as a screensaver host does."""

    GREY = (0x40, 0x40, 0x40)

    def __init__(self, x=100, y=80, width=640, height=480):
        self.x, self.y = x, y
        self.proc = subprocess.Popen([X11_WINDOW, "host", str(x), str(y), str(width), str(height)],
                                     env=dict(os.environ, DISPLAY=DISPLAY), stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        self.id = self.proc.stdout.readline().strip()
        check(self.id.startswith("0x"), "the host window helper gave no window")

    def box(self, left, top, right, bottom):
        """A rectangle of the window in screen coordinates."""
        return (self.x + left, self.y + top, self.x + right, self.y + bottom)

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(GUARD)


def light_pixels(image, box):
    return sum(count for colour, count in region_colours(image, box).items() if min(colour) > 200)


def stop(run, sig=signal.SIGTERM):
    run.proc.send_signal(sig)
    check(run.wait() == 0, "signal %d: exit status %d:\n%s" % (sig, run.proc.returncode, run.log()))


def case_host_window_by_option_and_environment():
    # By option with a hexadecimal id, then by the host's variable with a decimal one, which
    # also stands in for the root window.
    for how in ("option", "environment", "root and environment"):
        host = HostWindow()
        run = Run(SKY)
        try:
            check(filled(screen(), host.box(0, 0, 640, 480), HostWindow.GREY), "the host window is not up")
            if how == "option":
                run.start("-window-id", host.id)
            else:
                # As the screensaver host passes it on.
                run.start(*(["--root"] if how.startswith("root") else []),
                          env={"XSCREENSAVER_WINDOW": str(int(host.id, 16))})
            wait_until(lambda: filled(screen(), host.box(0, 0, 640, 480), SKY_RGB), "the show in the host window",
                       run)
            check(not show_windows(), how + ": the show made windows of its own")
            check(not filled(screen(), host.box(-100, -80, 0, 0), SKY_RGB), how + ": drawn outside the window")
            check('#0: rect=0,0,640,480 size=640,480 device="window ' in run.log(), "monitor line:\n" + run.log())
            check("#1: rect=" not in run.log(), how + ": more than one device:\n" + run.log())
            # Input belongs to the host: the show goes on until it is told to stop.
            xdotool("mousemove", str(host.x + 300), str(host.y + 200))
            xdotool("mousemove_relative", "--", "40", "40")
            xdotool("key", "Escape")
            time.sleep(1.0)
            check(run.running(), how + ": input ended the show")
            stop(run)
        finally:
            run.close()
            host.close()
    # Window ids that are no number or no window end the start with -1.
    for args, env, line in ((["-window-id", "12ab"], {}, 'Error: -window-id "12ab" is not a window id\n'),
                            (["-window-id"], {}, 'Error: -window-id "" is not a window id\n'),
                            ([], {"XSCREENSAVER_WINDOW": "0x"}, 'Error: XSCREENSAVER_WINDOW "0x" is not a window id\n'),
                            (["-window-id", "0x1fffff0"], {}, "Error: there is no window 0x1fffff0 to draw into\n")):
        run = Run(SKY)
        try:
            run.start("-frames", "3", *args, env=env)
            check(run.wait() == 255, "%s %s: exit status %d" % (args, env, run.proc.returncode))
            check(line in run.log(), "%s %s: no error line:\n%s" % (args, env, run.log()))
            check("#0: rect=" not in run.log(), "%s %s: a device was made" % (args, env))
        finally:
            run.close()


def case_host_window_resize_and_overlay_follow():
    host = HostWindow()
    run = Run(SKY)
    try:
        run.start("-window-id", host.id, "-fps")
        wait_until(lambda: filled(screen(), host.box(0, 60, 640, 480), SKY_RGB) and
                   light_pixels(screen(), host.box(0, 0, 200, 30)) > 0, "the show and its overlay", run)
        xdotool("windowsize", host.id, "500", "400")
        # The next frames fill the new size, and the overlay stays in the top-left corner, which
        # a projection left at the old size would push out of the window.
        wait_until(lambda: filled(screen(), host.box(0, 60, 500, 400), SKY_RGB), "the resized window filled", run)
        wait_until(lambda: light_pixels(screen(), host.box(0, 0, 160, 25)) > 0, "the overlay after resizing", run)
        check(not filled(screen(), host.box(500, 0, 640, 480), SKY_RGB), "drawn outside the resized window")
        stop(run)
    finally:
        run.close()
        host.close()


def case_stop_signals_end_with_zero_and_the_report():
    for sig, args in ((signal.SIGTERM, ["-window-id"]), (signal.SIGINT, [])):
        host = HostWindow()
        run = Run(SKY)
        try:
            run.start(*(args + [host.id] if args else []))
            if args:
                wait_until(lambda: filled(screen(), host.box(0, 0, 640, 480), SKY_RGB), "the hosted show", run)
            else:
                wait_for_show(run)
            stop(run, sig)
            log = run.log()
            check("Ending the show on signal %d\n" % sig in log, "no stop line:\n" + log)
            check(LEAK.search(log[log.find("Ending the show"):]), "no leak report after the stop:\n" + log)
        finally:
            run.close()
            host.close()


def case_root_window_is_drawn():
    run = Run(SKY)
    try:
        run.start("-root")
        # The root window is the one device: its whole size, monitors or not.
        wait_until(lambda: filled(screen(), (0, 0, 1824, 768), SKY_RGB), "the show on the root window", run)
        check("#0: rect=0,0,1824,768 size=1824,768" in run.log() and "#1: rect=" not in run.log(),
              "monitor lines:\n" + run.log())
        check(not show_windows(), "the show made windows of its own")
        stop(run)
    finally:
        run.close()
        # What the show left on the root would fool the later cases.
        subprocess.run(["xsetroot", "-solid", "black"], env=dict(os.environ, DISPLAY=DISPLAY), timeout=GUARD)


def case_fps_overlay_draws_text_only_when_asked():
    corners = [(MON0[0], MON0[1], MON0[0] + 300, MON0[1] + 50), (MON1[0], MON1[1], MON1[0] + 300, MON1[1] + 50)]
    lower = [(MON0[0], 200, MON0[2], MON0[3]), (MON1[0], 200, MON1[2], MON1[3])]
    for fps in (False, True):
        run = Run(SKY)
        try:
            run.start(*(["-fps"] if fps else []))
            wait_for_show(run)
            wait_until(lambda: all(filled(screen(), box, SKY_RGB) for box in lower), "the show", run)
            if fps:
                # Every device: the rate line, then the root group and the clear below it.
                wait_until(lambda: all(light_pixels(screen(), box) > 20 for box in corners), "the overlay", run)
                image = screen()
                for box in corners:
                    rows = [y for y in range(box[1], box[3])
                            if light_pixels(image, (box[0], y, box[2], y + 1)) > 0]
                    check(rows and rows[-1] - rows[0] >= 20, "fewer than three text lines in %s" % (box,))
            else:
                time.sleep(1.0)
                image = screen()
                for box in corners:
                    check(filled(image, box, SKY_RGB), "text without -fps in %s" % (box,))
            xdotool("key", "Escape")
            check(run.wait() == 0, "exit status %d" % run.proc.returncode)
        finally:
            run.close()


# --- the manual's whole shows -----------------------------------------------------------------

MANUAL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "manual.md")
EFFECT_KEYWORDS = {"camera", "chain", "timedchain", "clear", "palette", "vornmodel", "vorntextures", "grid", "group",
                   "light", "model", "nullobj", "object", "screen", "rotate", "shader", "texture", "cubemap",
                   "generatedcubemap", "breltexture", "stufffile"}


def manual_examples():
    examples, current = [], None
    with open(MANUAL) as f:
        for number, line in enumerate(f, 1):
            if line.startswith("```"):
                if current is not None:
                    examples.append(current)
                    current = None
                elif line[3:].split(" ")[0].strip() in ("show", "script", "file"):
                    info = line[3:].strip().split(" ", 1)
                    current = {"kind": info[0], "path": info[1] if len(info) > 1 else None, "line": number,
                               "text": ""}
                else:
                    current = {"kind": "other", "line": number, "text": ""}
                continue
            if current is not None:
                current["text"] += line
    return examples


def block_keywords(text):
    """Keywords of the blocks with at least one line in them."""
    lines = [l.strip() for l in text.splitlines()]
    return {l.split()[0] for i, l in enumerate(lines) if l.endswith("{") and i + 1 < len(lines) and lines[i + 1] != "}"}


def case_manual_shows_play():
    examples = manual_examples()
    files = [e for e in examples if e["kind"] == "file"]
    shows = [e for e in examples if e["kind"] == "show"]
    check(len(shows) >= 5, "%d shows in the manual" % len(shows))
    for show in shows:
        run = Run(show["text"])
        try:
            for f in files:
                path = os.path.join(run.data, f["path"])
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as out:
                    out.write(f["text"])
            rc = run.run("-window", "-frames", "5")
            log = run.log()
            where = "the show at line %d of the manual" % show["line"]
            # The demo system logs a block exactly when the class registry made its effect.
            built = set(re.findall(r"\[DEMOSYS\] [0-9.]+ ms for (\w+)\n", log))
            missing = (block_keywords(show["text"]) & EFFECT_KEYWORDS) - built
            check(not missing, "%s: blocks not built: %s\n%s" % (where, sorted(missing), log))
            check(rc == 0, "%s: exit status %d\n%s" % (where, rc, log))
            check("Error" not in log and "ERROR" not in log, "%s: errors logged:\n%s" % (where, log))
        finally:
            run.close()


CASES = {name[len("case_"):]: f for name, f in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    if CASE == "--list":
        print("\n".join(CASES))
        sys.exit(0)
    try:
        CASES[CASE]()
    except Failure as failure:
        print("FAILED: %s: %s" % (CASE, failure))
        sys.exit(1)
    print("passed: " + CASE)
