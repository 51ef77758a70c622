#!/usr/bin/python3
"""Installs the build into a temporary prefix and checks what lands there.

Usage: check_install.py BUILD_DIR SOURCE_DIR
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

BUILD, SOURCE = (os.path.abspath(p) for p in sys.argv[1:3])
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def program_options():
    """The switches that the program's command line parser knows."""
    with open(os.path.join(SOURCE, "src", "appmain.cpp")) as f:
        return sorted(set(re.findall(r'word == "(-[a-z-]+)"', f.read())))


with tempfile.TemporaryDirectory(prefix="vornscr_install_") as prefix:
    done = subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], capture_output=True, text=True)
    check(done.returncode == 0, "cmake --install failed:\n" + done.stdout + done.stderr)
    for program in ("bin/vornscr", "bin/vornscr-tool"):
        path = os.path.join(prefix, program)
        check(os.path.isfile(path) and os.access(path, os.X_OK), "no program " + program)
    settings = os.path.join(prefix, "share", "xscreensaver", "config", "vornscr.xml")
    manual = os.path.join(prefix, "share", "man", "man6", "vornscr.6.gz")

    # The settings file: well-formed, about this program, naming every option.
    lint = subprocess.run(["xmllint", "--noout", settings], capture_output=True, text=True)
    check(lint.returncode == 0, "vornscr.xml does not validate:\n" + lint.stderr)
    if lint.returncode == 0:
        root = ET.parse(settings).getroot()
        check(root.tag == "screensaver" and root.get("name") == "vornscr", "not the program's settings file")
        args = [e.get("arg") or e.get("arg-set") or "" for e in root.iter() if e.get("arg") or e.get("arg-set")]
        description = "".join(root.find("_description").itertext())
        options = program_options()
        check(len(options) >= 5, "the option list of the program was not found: %s" % options)
        for option in options:
            named = any(a.split()[0] == option for a in args) or re.search(re.escape(option) + r"\b", description)
            check(named, "vornscr.xml does not name " + option)
        check("-fps" in args, "the frame rate switch is no setting")

    # The manual page renders without warnings and names the same options.
    page = subprocess.run(["man", "--warnings", "-l", manual], capture_output=True, text=True,
                          env=dict(os.environ, MANWIDTH="80", MANPAGER="cat", PAGER="cat"))
    check(page.returncode == 0 and "NAME" in page.stdout, "man -l does not render the page:\n" + page.stderr)
    check(page.stderr.strip() == "", "the page renders with warnings:\n" + page.stderr)
    text = page.stdout.replace("\u2010", "-").replace("\u2212", "-")
    for option in program_options() + ["-install"]:
        check(option in text, "the manual page does not name " + option)

if failures:
    print("\n".join("FAILED: " + f for f in failures))
    sys.exit(1)
print("passed: installation")
