#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The window's start as a user sees it in a terminal: without a display it says so in French and
ends with code 1 (not Qt's abort); on a display, a normal start writes nothing on standard error.
Usage: check_window_start.py VANTOREL_CLI SAMPLES_DIR [--quiet-start]   (the window is found beside
the command line's build folder: BUILD/src/app/vantorel)"""
import os
import shutil
import subprocess
import sys
import tempfile

cli, samples = sys.argv[1], sys.argv[2]
window = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(cli))), "app", "vantorel")
failed = 0


def check(name, condition, detail=""):
    global failed
    if not condition:
        failed += 1
        print("FAIL", name, detail)


with tempfile.TemporaryDirectory() as tmp:
    home = {name: os.path.join(tmp, name) for name in ("config", "cache", "data", "runtime")}
    os.mkdir(home["runtime"], 0o700)  # as a desktop session gives
    base = {k: v for k, v in os.environ.items()
            if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM")}
    base.update(LC_ALL="fr_FR.UTF-8", XDG_CONFIG_HOME=home["config"], XDG_CACHE_HOME=home["cache"],
                XDG_DATA_HOME=home["data"], XDG_RUNTIME_DIR=home["runtime"])
    photo = os.path.join(samples, "exiv2_FurnaceCreekInn.jpg")

    if "--quiet-start" not in sys.argv:
        # No display anywhere, an X display whose server is gone, Qt asked for X11 with only Wayland.
        for name, extra, args in (("no display", {}, []),
                                  ("X server gone", {"DISPLAY": ":87"}, []),
                                  ("X11 asked, no X", {"QT_QPA_PLATFORM": "xcb"}, []),
                                  ("-platform xcb, no X", {}, ["-platform", "xcb"])):
            r = subprocess.run([window, *args, "--", photo], env=dict(base, **extra), capture_output=True,
                               timeout=60)
            err = r.stderr.decode(errors="replace")
            check(f"{name}: exit 1", r.returncode == 1, r.returncode)
            check(f"{name}: one French line", err.count("\n") == 1 and "aucun écran" in err, repr(err))
            check(f"{name}: nothing on standard output", r.stdout == b"", r.stdout)
    else:
        # A normal start on an X display under a window manager, until the map has had time to
        # load: nothing on standard error (the web engine's diagnostics are off by default).
        if not shutil.which("xvfb-run") or not shutil.which("xdotool"):
            print("xvfb-run or xdotool absent: check skipped")
            sys.exit(77)
        err_path = os.path.join(tmp, "stderr")
        script = '''
            openbox --sm-disable >/dev/null 2>&1 &
            "$0" -- "$1" 2>"$2" &
            pid=$!
            i=0
            while [ $i -lt 240 ] && ! xdotool search --name "^Vantorel" >/dev/null 2>&1; do
                sleep 0.5; i=$((i + 1))
            done
            sleep 10
            kill $pid
            wait $pid
            exit 0
        '''
        r = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "sh", "-c", script, window, photo,
                            err_path], env=base, capture_output=True, timeout=300)
        err = open(err_path, encoding="utf-8", errors="replace").read()
        check("normal start: nothing on standard error", err == "",
              f"{err.count(chr(10))} lines:\n{err[:3000]}")

print(f"{failed} failed")
sys.exit(1 if failed else 0)
