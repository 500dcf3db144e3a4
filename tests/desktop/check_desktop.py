#!/usr/bin/env python3
"""The program as a desktop and a package see it. Usage:
  check_desktop.py identity BUILD_DIR APP_ID   desktop entry and metainfo valid, one id everywhere
  check_desktop.py manuals BUILD_DIR VERSION   man -l renders both manuals, each says what --help says
  check_desktop.py completion SOURCE_DIR CLI   bash completion of commands, options and photos
  check_desktop.py package BUILD_DIR VERSION   the .deb built by cpack: lintian, installed in a
                                               scratch root, its programs and manuals run from there
A tool that is missing (desktop-file-validate, appstreamcli, man, lintian, bash-completion) skips
its check with exit code 77."""
import glob
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SKIP = 77
faults = []


def fault(text):
    faults.append(text)
    print("FAUT: " + text)


def need(tool):
    if subprocess.run(["sh", "-c", f"command -v {tool}"], capture_output=True).returncode != 0:
        print(f"{tool} absent: check skipped")
        sys.exit(SKIP)


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def check_identity(build, app_id):
    need("desktop-file-validate")
    need("appstreamcli")
    desktop = os.path.join(build, "packaging", app_id + ".desktop")
    metainfo = os.path.join(build, "packaging", app_id + ".metainfo.xml")
    r = run(["desktop-file-validate", desktop])
    if r.returncode != 0 or r.stdout.strip():
        fault("desktop-file-validate: " + r.stdout + r.stderr)
    r = run(["appstreamcli", "validate", "--no-net", "--strict", metainfo])
    if r.returncode != 0:
        fault("appstreamcli: " + r.stdout + r.stderr)
    entry = dict(line.split("=", 1) for line in open(desktop, encoding="utf-8").read().splitlines()
                 if "=" in line)
    if entry.get("Icon") != app_id:
        fault(f"Icon={entry.get('Icon')}, not the id")
    if "x-scheme-handler/geo;" not in entry.get("MimeType", ""):
        fault("the entry does not open geo: links")
    if not re.search(r"%U$", entry.get("Exec", "")):
        fault("Exec takes no URLs: " + entry.get("Exec", ""))
    for key, word in (("Keywords", "geotag"), ("Keywords[fr]", "géocodage")):
        if word not in entry.get(key, "").split(";"):
            fault(f"{key} lacks {word}")
    root = ET.parse(metainfo).getroot()
    if root.findtext("id") != app_id:
        fault("metainfo id " + str(root.findtext("id")))
    if root.findtext("launchable") != app_id + ".desktop":
        fault("metainfo launchable " + str(root.findtext("launchable")))


def render(page):
    env = dict(os.environ, MANWIDTH="200", LC_ALL="C.UTF-8")
    r = run(["man", "--warnings", "-E", "UTF-8", "--nh", "--nj", "-l", page], env=env)
    return r


def flat(text):
    text = text.replace("\u2010", "-").replace("\u2212", "-").replace("\u2019", "'")
    return " ".join(text.split())


def check_manual_against_help(page, program, fault=fault):
    """Every line of the help is in the rendered manual, in its words; headings become sections."""
    r = render(page)
    if r.returncode != 0 or r.stderr.strip():
        fault(f"man -l {page}: {r.returncode} {r.stderr}")
        return
    manual = flat(r.stdout)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    help_text = run([program, "--help"], env=env).stdout
    if not help_text.strip():
        fault(f"{program} --help says nothing")
    for line in help_text.splitlines():
        if not line.strip():
            continue
        if line.startswith("Usage"):
            line = line.split(":", 1)[1]
        elif re.match(r"^\S.* :$", line):
            line = line[:-2].upper()
        if flat(line) not in manual:
            fault(f"{os.path.basename(page)}: the manual lacks the help's line « {line.strip()} »")
    for section in ("NOM", "SYNOPSIS", "DESCRIPTION", "EXEMPLES", "VOIR AUSSI"):
        if section not in r.stdout:
            fault(f"{os.path.basename(page)}: no section {section}")


def check_version(program, version):
    r = run([program, "--version"], env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    name = os.path.basename(program)
    if r.returncode != 0 or not re.fullmatch(rf"{re.escape(name)} {re.escape(version)}( \(commit [0-9a-f]{{7,}}\))?\n",
                                             r.stdout):
        fault(f"{program} --version: {r.returncode} {r.stdout!r}")


def check_manuals(build, version):
    need("man")
    programs = {"vantorel": os.path.join(build, "src", "app", "vantorel"),
                "vantorel-cli": os.path.join(build, "src", "cli", "vantorel-cli")}
    for name, program in programs.items():
        check_manual_against_help(os.path.join(build, "packaging", name + ".1.gz"), program)
        check_version(program, version)
    # The drift check itself catches drift: a manual missing one line of the help is a fault.
    with tempfile.TemporaryDirectory() as tmp:
        page = open(os.path.join(build, "packaging", "vantorel-cli.1"), encoding="utf-8").read()
        stale = os.path.join(tmp, "stale.1")
        open(stale, "w", encoding="utf-8").write(re.sub(r"(?m)^\\fBgpx .*\n(?:[^.].*\n)*", "", page, count=1))
        missing = []
        check_manual_against_help(stale, programs["vantorel-cli"], missing.append)
        if not any("gpx [-o FICHIER] PHOTO..." in m for m in missing):
            fault("a manual without the gpx command passed the drift check")


def check_completion(source, cli):
    completion = "/usr/share/bash-completion/bash_completion"
    if not os.path.exists(completion):
        print("bash-completion absent: check skipped")
        sys.exit(SKIP)
    with tempfile.TemporaryDirectory() as tmp:
        for name in ("a.jpg", "b.JPEG", "notes.txt", "trace.gpx"):
            open(os.path.join(tmp, name), "w").close()
        os.mkdir(os.path.join(tmp, "album"))
        cases = [  # (program, words typed, expected completions)
            ("vantorel-cli", [cli, "co"], ["coords", "correlate"]),
            ("vantorel-cli", [cli, "--v"], ["--version"]),
            ("vantorel-cli", [cli, "v"], []),  # the examples' lines are no commands
            ("vantorel-cli", [cli, "gpx", "-"], ["-o"]),
            ("vantorel-cli", [cli, "write", "a.jpg", "1", "2", "--f"], ["--force"]),
            ("vantorel-cli", [cli, "map", "--"], ["--google"]),
            ("vantorel-cli", [cli, "coords", ""], ["a.jpg", "album", "b.JPEG"]),
            ("vantorel-cli", [cli, "gpx", "-o", ""], ["album", "trace.gpx"]),
            ("vantorel", ["vantorel", "--"], ["--", "--help", "--version"]),
            ("vantorel", ["vantorel", ""], ["a.jpg", "album", "b.JPEG"]),
        ]
        for program, words, expected in cases:
            script = os.path.join(source, "packaging", program + ".bash-completion")
            words_text = " ".join("'" + w + "'" for w in words)
            code = (f"source {completion}; source {script}; COMP_WORDS=({words_text}); "
                    f"COMP_CWORD={len(words) - 1}; COMP_LINE=\"${{COMP_WORDS[*]}}\"; COMP_POINT=${{#COMP_LINE}}; "
                    f"_{program.replace('-', '_')} {program} \"${{COMP_WORDS[-1]}}\" \"${{COMP_WORDS[-2]}}\"; "
                    "printf '%s\\n' \"${COMPREPLY[@]}\"")
            r = run(["bash", "-c", code], cwd=tmp)
            got = sorted(x for x in r.stdout.splitlines() if x)
            if got != sorted(expected):
                fault(f"completion of {words[1:]}: {got}, expected {sorted(expected)} {r.stderr}")


def check_package(build, version):
    need("dpkg-deb")
    need("lintian")
    r = run(["cpack", "-G", "DEB"], cwd=build)
    if r.returncode != 0:
        fault("cpack: " + r.stdout + r.stderr)
        return
    debs = glob.glob(os.path.join(build, f"vantorel_{version}*_*.deb"))
    if len(debs) != 1:
        fault(f"packages found: {debs}")
        return
    deb = debs[0]
    control = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
    # Computed from the programs' libraries, plus what they read without linking it.
    for package in ("libqt6webenginecore6", "libexiv2-27", "libjpeg62-turbo", "libjs-leaflet"):
        if package not in control:
            fault(f"Depends lacks {package}: {control}")
    r = run(["lintian", "--fail-on", "error", "--suppress-tags", "", deb])
    print(r.stdout)
    if r.returncode != 0:
        fault("lintian: " + r.stdout + r.stderr)
    with tempfile.TemporaryDirectory() as root:
        r = run(["dpkg-deb", "-x", deb, root])
        if r.returncode != 0:
            fault("dpkg-deb -x: " + r.stderr)
            return
        usr = os.path.join(root, "usr")
        for path in ("bin/vantorel", "bin/vantorel-cli", "share/applications/org.vantorel.Vantorel.desktop",
                     "share/metainfo/org.vantorel.Vantorel.metainfo.xml",
                     "share/icons/hicolor/scalable/apps/org.vantorel.Vantorel.svg",
                     "share/icons/hicolor/48x48/apps/org.vantorel.Vantorel.png",
                     "share/man/man1/vantorel.1.gz", "share/man/man1/vantorel-cli.1.gz",
                     "share/bash-completion/completions/vantorel-cli", "share/vantorel/GeolocEnCours.gif"):
            if not os.path.exists(os.path.join(usr, path)):
                fault("the package lacks /usr/" + path)
        # The full metadata reader is a module the programs load from beside themselves, wherever
        # the package is unpacked: not from the build folder.
        modules = glob.glob(os.path.join(usr, "lib", "*", "vantorel", "libvantorel-exiv2.so"))
        if len(modules) != 1:
            fault(f"the package's metadata module: {modules}")
        photo = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "fuzz", "corpus",
                             "sample-Canon_40D.jpg")
        r = run([os.path.join(usr, "bin/vantorel-cli"), "exif", photo], env=dict(os.environ, LD_DEBUG="files"))
        loaded = [line for line in r.stderr.splitlines() if "libvantorel-exiv2" in line and "file=" in line]
        if r.returncode != 0 or "EquipModel" not in r.stdout or not any(root in line for line in loaded):
            fault(f"the unpacked vantorel-cli does not read Exif through its own module: {loaded} {r.stdout[:200]}")
        for name, sub in (("vantorel", "bin/vantorel"), ("vantorel-cli", "bin/vantorel-cli")):
            program = os.path.join(usr, sub)
            check_version(program, version)
            check_manual_against_help(os.path.join(usr, "share/man/man1", name + ".1.gz"), program)


def main():
    what, *args = sys.argv[1:]
    args = [os.path.abspath(a) if os.path.exists(a) else a for a in args]
    {"identity": check_identity, "manuals": check_manuals, "completion": check_completion,
     "package": check_package}[what](*args)
    print(f"{len(faults)} fault(s)")
    sys.exit(1 if faults else 0)


main()
