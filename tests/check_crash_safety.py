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

    # A batch: the copies of many large photos in one call are flushed to disk together, then
    # named. Killed anywhere in it, every copy is the old one, the new one, or (first copies) absent.
    # Large JPEGs: the sample followed by 24 MB of other data, which a copy carries whole.
    batch_dir = os.path.join(tmp, "batch")
    os.mkdir(batch_dir)
    trailer = bytes(range(256)) * (24 * 1024 * 1024 // 256)
    with open(source, "rb") as f:
        head = f.read()
    photos = []
    for i in range(6):
        photo = os.path.join(batch_dir, f"p{i}.jpg")
        with open(photo, "wb") as f:
            f.write(head + trailer + bytes([i]) * 1024)
        photos.append(photo)
    copies = [os.path.join(batch_dir, "#" + os.path.basename(p)) for p in photos]

    def write_batch(position, *extra):
        return subprocess.run([cli, "write", "--at", position, *extra, *photos], env=env,
                              capture_output=True, timeout=600)

    start = time.monotonic()
    check("batch write exits 0", write_batch("10.5, 20.25").returncode == 0)
    batch_whole = time.monotonic() - start
    first = [read(c) for c in copies]
    check("batch write --force exits 0", write_batch("30.5, -40.75", "--force").returncode == 0)
    second = [read(c) for c in copies]
    check("the batch's copies are whole and differ",
          all(a and b and a != b and len(a) > 24 * 1024 * 1024 for a, b in zip(first, second)))
    outcomes = {"whole": 0, "absent": 0}
    attempts = 8
    for attempt in range(attempts):
        if attempt % 3 == 0:  # first copies: none there before
            for c in copies:
                if os.path.exists(c):
                    os.unlink(c)
        before = [read(c) for c in copies]
        position = "10.5, 20.25" if attempt % 2 else "30.5, -40.75"
        child = subprocess.Popen([cli, "write", "--at", position, "--force", *photos], env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0, batch_whole * 1.1))
        child.send_signal(signal.SIGKILL)
        child.wait()
        for i, c in enumerate(copies):
            now = read(c)
            # An existing copy is replaced whole or stays; a new one is whole or absent.
            if now is None and before[i] is None:
                outcomes["absent"] += 1
            elif now is not None and now in (first[i], second[i]):
                outcomes["whole"] += 1
            else:
                check("killed batch left whole copies", False,
                      f"attempt {attempt}, copy {i}: {None if now is None else len(now)} bytes")
    check("every copy of the killed batches was whole or absent",
          sum(outcomes.values()) == attempts * len(copies), str(outcomes))
    # One photo that cannot be written does not lose the others.
    unreadable = os.path.join(batch_dir, "broken.jpg")
    with open(unreadable, "wb") as f:
        f.write(b"\xff\xd8\xff\xe1\x00\x10Exif\x00\x00MM\x00*")
    for c in copies:
        if os.path.exists(c):
            os.unlink(c)
    r = subprocess.run([cli, "write", "--at", "1, 2", photos[0], unreadable, photos[1]], env=env,
                       capture_output=True, timeout=600)
    lines = r.stdout.decode().splitlines()
    check("a batch with a broken photo writes the others",
          r.returncode == 1 and [line.split("\t")[1] for line in lines] == ["écrite", "échec", "écrite"]
          and read(copies[0]) is not None and read(copies[1]) is not None, r.stdout.decode())

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
