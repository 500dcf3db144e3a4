#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A copy writer killed at random points while it writes leaves either no copy or a whole one
(the old copy or the complete new one), never a partial file; and vantorel-cli write/erase keep
their exit codes: an existing copy is never replaced without --force."""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

cli, samples = sys.argv[1], sys.argv[2]
env = dict(os.environ, LC_ALL="C.UTF-8")
passed = failed = 0


def check(name, condition, detail=""):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAIL", name, detail)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def write(*args):
    return subprocess.run([cli, *args], env=env, capture_output=True, timeout=60)


with tempfile.TemporaryDirectory() as tmp:
    # The largest sample, so that a write takes long enough to be cut in many places.
    source = os.path.join(tmp, "big.jpg")
    shutil.copy(os.path.join(samples, "mdextract_Apple_iPhone_6_plus.jpg"), source)
    copy = os.path.join(tmp, "#big.jpg")

    # Reference copies for the two positions the killed writers alternate between.
    check("write exits 0", write("write", source, "10.5", "20.25").returncode == 0)
    old = read(copy)
    check("existing copy is not replaced without --force",
          write("write", source, "30.5", "-40.75").returncode == 3 and read(copy) == old)
    check("bad coordinates exit 4", write("write", source, "91", "0").returncode == 4)
    check("bad coordinates with a comma exit 4", write("write", source, "1,5,2", "0").returncode == 4)
    check("missing photo exits 1", write("write", os.path.join(tmp, "absent.jpg"), "1", "2").returncode == 1)
    check("wrong arguments exit 2", write("write", source, "1").returncode == 2)
    check("--force replaces", write("write", source, "30.5", "-40.75", "--force").returncode == 0)
    new = read(copy)
    check("the two copies differ", old != new and old is not None and new is not None)

    # How long one whole write takes, to spread the kills over it.
    start = time.monotonic()
    write("write", source, "10.5", "20.25", "--force")
    whole = time.monotonic() - start
    rng = random.Random(20261210)
    seen = {"old": 0, "new": 0}
    for attempt in range(40):
        args = ("10.5", "20.25") if attempt % 2 else ("30.5", "-40.75")
        child = subprocess.Popen([cli, "write", source, *args, "--force"], env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0, whole * 1.2))
        child.send_signal(signal.SIGKILL)
        child.wait()
        now = read(copy)
        if now == old:
            seen["old"] += 1
        elif now == new:
            seen["new"] += 1
        else:
            check("killed writer left a whole copy", False,
                  f"attempt {attempt}: {None if now is None else len(now)} bytes")
            break
    check("killed writers always left a whole copy", sum(seen.values()) == 40, str(seen))
    # What a killed writer leaves is only its own temporary file, never under the copy's name.
    check("only temporary files are left",
          all(n in ("big.jpg", "#big.jpg") or n.endswith(".part") for n in os.listdir(tmp)),
          str(os.listdir(tmp)))

    # The first copy ever: killed before it is complete, there is no copy at all.
    erased = os.path.join(tmp, "~big.jpg")
    check("erase exits 0", write("erase", source).returncode == 0)
    reference = read(erased)
    check("a second erase without --force exits 3", write("erase", source).returncode == 3)
    for attempt in range(10):
        if os.path.exists(erased):
            os.unlink(erased)
        child = subprocess.Popen([cli, "erase", source], env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0, whole * 1.2))
        child.send_signal(signal.SIGKILL)
        child.wait()
        now = read(erased)
        check("erase killed: no copy or a whole one", now is None or now == reference, f"attempt {attempt}")

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
