# SPDX-License-Identifier: GPL-3.0-or-later
"""Cases that need a user who cannot read or write everything: root reads and writes every file, so
as root they run as nobody (uid 65534). That user may not enter the checkout's folders (the
checkout's parent may be private), so what it runs and reads is copied into a folder of its own."""
import os
import shutil
import subprocess

NOBODY = 65534


def as_nobody(cli, tmp, files=(), env=None):
    """(command prefix, program to run, {name: copy}) for running `cli` as nobody on copies of
    `files`, all in a folder of its own in the test's temporary folder `tmp`; the prefix is empty
    when not root. None when no unprivileged user can run the program here."""
    if os.geteuid() != 0:
        return [], cli, {os.path.basename(f): f for f in files}
    if not shutil.which("setpriv"):
        return None
    folder = os.path.join(tmp, "nobody")
    os.makedirs(folder)
    copies = {}
    # The program and the metadata module it loads from beside itself.
    for path in [cli, os.path.join(os.path.dirname(cli), "libvantorel-exiv2.so"), *files]:
        if os.path.exists(path):
            copies[os.path.basename(path)] = shutil.copy2(path, folder)
    for path in [folder, *copies.values()]:
        os.chown(path, NOBODY, NOBODY)
    # The test's own folder lets nobody through (made private by tempfile).
    os.chmod(tmp, os.stat(tmp).st_mode | 0o001)
    prefix = ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups"]
    program = copies[os.path.basename(cli)]
    probe = subprocess.run([*prefix, program, "--help"], env=env, capture_output=True, timeout=60)
    if probe.returncode != 0:
        return None
    return prefix, program, {name: copies[name] for name in map(os.path.basename, files)}
