#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The program as a desktop and a package see it. Usage:
  check_desktop.py identity BUILD_DIR APP_ID   desktop entry and metainfo valid, one id everywhere
  check_desktop.py manuals BUILD_DIR VERSION   man -l renders the manuals, the French ones say what
                                               --help says, the English ones have the same items
  check_desktop.py completion SOURCE_DIR CLI   bash completion of commands, options and photos
  check_desktop.py package CHANGES VERSION     the package scripts/package.sh built: lintian,
                                               hardening, unpacked in a scratch root, its programs
                                               and manuals run from there
A tool that is missing (desktop-file-validate, appstreamcli, man, lintian, bash-completion) skips
its check with exit code 77."""
import glob
import gzip
import os
import re
import subprocess
import sys
import tempfile
import time
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
    r = run(["appstreamcli", "validate", "--no-net", "--pedantic", metainfo])
    if r.returncode != 0 or re.search(r"(?m)^[EWIP]: ", r.stdout):
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
    # English by default, French beside it.
    for key in ("Name", "GenericName", "Comment"):
        if not entry.get(key) or not entry.get(key + "[fr]"):
            fault(f"the entry lacks {key} or {key}[fr]")
    if "géocodage" in entry.get("Comment", "") or "geotag" not in entry.get("Comment", ""):
        fault("the entry's default comment is not English: " + entry.get("Comment", ""))
    root = ET.parse(metainfo).getroot()
    lang = "{http://www.w3.org/XML/1998/namespace}lang"
    if root.findtext("project_license") != "GPL-3.0-or-later":
        fault("metainfo licence " + str(root.findtext("project_license")))
    summaries = {e.get(lang): e.text for e in root.findall("summary")}
    if "geotag" not in (summaries.get(None) or "") or "géocodage" not in (summaries.get("fr") or ""):
        fault(f"metainfo summaries: {summaries}")
    paragraphs = root.findall("description/p")
    if not any(p.get(lang) == "fr" for p in paragraphs) or not any(p.get(lang) is None for p in paragraphs):
        fault("metainfo description not in English and French")
    if not (root.findtext("url[@type='bugtracker']") or "").startswith("https://"):
        fault("metainfo without a bug tracker")
    images = [i.text for i in root.findall("screenshots/screenshot/image")]
    docs = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "docs")
    if not images or not all(os.path.exists(os.path.join(docs, os.path.basename(i))) for i in images):
        fault(f"metainfo screenshots are not the README's: {images}")
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


def page_terms(page):
    """The command or option word and the options of each tagged paragraph of a manual page: what
    the French and English pages must both have, in the same order."""
    text = gzip.open(page, "rt", encoding="utf-8").read() if page.endswith(".gz") else open(page, encoding="utf-8").read()
    terms = []
    for term in re.findall(r"(?m)^\.TP\n\\fB(.*)\\fR$", text):
        plain = term.replace("\\%", "").replace("\\-", "-")
        first = plain.split()[0] if plain.split() else ""
        first = {"other": "autre"}.get(first, first)  # the one item that is a word of the language
        terms.append((first if not first.isupper() else "", tuple(re.findall(r"(?<![\w-])--?[a-z][a-z-]*", plain))))
    return terms


def check_english_manual(page, french_page, fault=fault):
    """The English page renders cleanly, has its sections, and the same items as the French one."""
    r = render(page)
    if r.returncode != 0 or r.stderr.strip():
        fault(f"man -l {page}: {r.returncode} {r.stderr}")
        return
    for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "EXAMPLES", "SEE ALSO"):
        if section not in r.stdout:
            fault(f"{page}: no section {section}")
    english, french = page_terms(page), page_terms(french_page)
    if english != french:
        fault(f"{page}: the English items differ from the French ones: "
              f"{[t for t in english if t not in french]} / {[t for t in french if t not in english]}")


def check_options_whole(page, program, fault=fault):
    """Rendered narrow with hyphenation on, every option of the help stays whole on its line."""
    env = dict(os.environ, MANWIDTH="30", LC_ALL="C.UTF-8")
    r = run(["man", "-E", "UTF-8", "-l", page], env=env)
    lines = [flat(line) for line in r.stdout.splitlines()]
    help_text = run([program, "--help"], env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
    for option in sorted(set(re.findall(r"(?<![\w-])--[a-z][a-z-]+", help_text))):
        if not any(re.search(rf"(?<![\w-]){re.escape(option)}(?![\w-])", line) for line in lines):
            fault(f"{os.path.basename(page)}: {option} is cut at a line's end")


def check_manuals(build, version):
    need("man")
    programs = {"vantorel": os.path.join(build, "src", "app", "vantorel"),
                "vantorel-cli": os.path.join(build, "src", "cli", "vantorel-cli")}
    for name, program in programs.items():
        french = os.path.join(build, "packaging", "man-fr", name + ".1.gz")
        english = os.path.join(build, "packaging", "man-en", name + ".1.gz")
        check_manual_against_help(french, program)
        check_english_manual(english, french)
        check_options_whole(french, program)
        check_version(program, version)
        # Dated by SOURCE_DATE_EPOCH when a build sets it, else the day it is written.
        for language in ("fr", "en"):
            for epoch, day in (("31536000", "1971-01-01"), (None, time.strftime("%Y-%m-%d", time.gmtime()))):
                env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
                env.pop("SOURCE_DATE_EPOCH", None)
                if epoch:
                    env["SOURCE_DATE_EPOCH"] = epoch
                th = run([program, "--manual-page", language], env=env, timeout=60).stdout.split("\n.TH ", 1)[-1].split("\n")[0]
                if f'1 "{day}"' not in th:
                    fault(f"{name} {language}: .TH {th} is not dated {day}")
        if run([program, "--manual-page", "de"], timeout=60).returncode != 2:
            fault(f"{name} --manual-page de: a page in a language it has not")
    # The map commands say which settings file they read, in both languages.
    for language, files in (("fr", "FICHIERS"), ("en", "FILES")):
        text = flat(render(os.path.join(build, "packaging", "man-" + language, "vantorel-cli.1.gz")).stdout)
        map_item = text[text.find("map [--google] PHOTO"):text.find("overview [--google]")]
        if "vantorel.ini" not in map_item or f"{files} ~/.config/vantorel/vantorel.ini" not in text:
            fault(f"vantorel-cli ({language}): map does not say it reads vantorel.ini: {map_item}")
    # The drift check itself catches drift: a manual missing one line of the help is a fault.
    with tempfile.TemporaryDirectory() as tmp:
        page = open(os.path.join(build, "packaging", "man-fr", "vantorel-cli.1"), encoding="utf-8").read()
        stale = os.path.join(tmp, "stale.1")
        open(stale, "w", encoding="utf-8").write(re.sub(r"(?m)^\\fBgpx .*\n(?:[^.].*\n)*", "", page, count=1))
        missing = []
        check_manual_against_help(stale, programs["vantorel-cli"], missing.append)
        if not any("gpx [-o FICHIER] PHOTO..." in m for m in missing):
            fault("a manual without the gpx command passed the drift check")
        # And an English page without an item of the French one.
        english = open(os.path.join(build, "packaging", "man-en", "vantorel-cli.1"), encoding="utf-8").read()
        open(stale, "w", encoding="utf-8").write(re.sub(r"(?m)^\.TP\n\\fB\\%\\-\\-version.*\n(?:[^.].*\n)*", "",
                                                        english, count=1))
        missing = []
        check_english_manual(stale, os.path.join(build, "packaging", "man-fr", "vantorel-cli.1"), missing.append)
        if not any("differ" in m for m in missing):
            fault("an English manual without --version passed the check")


def check_completion(source, cli):
    completion = "/usr/share/bash-completion/bash_completion"
    if not os.path.exists(completion):
        print("bash-completion absent: check skipped")
        sys.exit(SKIP)
    with tempfile.TemporaryDirectory() as tmp:
        for name in ("a.jpg", "b.JPEG", "notes.txt", "trace.gpx", "route.kml", "walk.NMEA", "run.tcx", "ride.fit"):
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
            # correlate: its track files, IANA zones, and every option of its two lines of help.
            ("vantorel-cli", [cli, "correlate", "--track", ""],
             ["album", "ride.fit", "route.kml", "run.tcx", "trace.gpx", "walk.NMEA"]),
            ("vantorel-cli", [cli, "correlate", "--track", "t.gpx", "--tz", "Europe/Pari"], ["Europe/Paris"]),
            ("vantorel-cli", [cli, "correlate", "--tz", "America/New_"], ["America/New_York"]),
            ("vantorel-cli", [cli, "correlate", "--tz", "tr"], ["track"]),
            ("vantorel-cli", [cli, "correlate", "--max-gap", ""], []),
            ("vantorel-cli", [cli, "correlate", "--track", "t.gpx", "--"],
             ["--clock-error", "--dry-run", "--max-distance", "--max-gap", "--replace", "--track", "--tz"]),
            ("vantorel-cli", [cli, "correlate", "--ma"], ["--max-distance", "--max-gap"]),
            ("vantorel-cli", [cli, "write", "--"], ["--at", "--force"]),
            ("vantorel-cli", [cli, "correlate", "--track", "t.gpx", ""], ["a.jpg", "album", "b.JPEG"]),
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
            # A command's options come from its help: one it gains later (correlate --force) may be there.
            extra = [x for x in got if x not in expected]
            if sorted(x for x in got if x in expected) != sorted(expected) or (
                    extra and not (words[-1].startswith("-") and all(x.startswith("--") for x in extra))):
                fault(f"completion of {words[1:]}: {got}, expected {sorted(expected)} {r.stderr}")


def check_package(changes, version):
    """The package dpkg-buildpackage made (scripts/package.sh): lintian without error, warning or
    hardening tag; hardened programs; its files, relationships and programs as installed."""
    need("dpkg-deb")
    need("lintian")
    need("hardening-check")
    debs = glob.glob(os.path.join(os.path.dirname(changes), f"vantorel_{version}_*.deb"))
    if len(debs) != 1:
        fault(f"packages found: {debs}")
        return
    deb = debs[0]
    fields = {f: run(["dpkg-deb", "-f", deb, f]).stdout for f in ("Depends", "Recommends", "Suggests")}
    # Computed from the programs' libraries, plus what they read without linking it.
    for package in ("libqt6webenginecore6", "libexiv2-27", "libjpeg62-turbo", "libjs-leaflet", "xdg-utils"):
        if package not in fields["Depends"]:
            fault(f"Depends lacks {package}: {fields['Depends']}")
    for field, package in (("Recommends", "fonts-urw-base35"), ("Recommends", "qt6-wayland"),
                           ("Suggests", "gpsbabel")):
        if package not in fields[field] or package in fields["Depends"]:
            fault(f"{package} not in {field} alone: {fields}")
    r = run(["lintian", "--fail-on", "error,warning", "--display-info", changes])
    print("lintian " + os.path.basename(changes) + ":\n" + r.stdout + r.stderr)
    if r.returncode != 0 or re.search(r"(?m)^[EW]: ", r.stdout) or "hardening-" in r.stdout:
        fault("lintian: " + r.stdout + r.stderr)
    with tempfile.TemporaryDirectory() as root:
        r = run(["dpkg-deb", "-x", deb, root])
        if r.returncode != 0:
            fault("dpkg-deb -x: " + r.stderr)
            return
        usr = os.path.join(root, "usr")
        for path in ("bin/vantorel", "bin/vantorel-cli", "share/applications/org.vantorel.vantorel.desktop",
                     "share/metainfo/org.vantorel.vantorel.metainfo.xml",
                     "share/icons/hicolor/scalable/apps/org.vantorel.vantorel.svg",
                     "share/icons/hicolor/48x48/apps/org.vantorel.vantorel.png",
                     "share/man/man1/vantorel.1.gz", "share/man/man1/vantorel-cli.1.gz",
                     "share/man/fr/man1/vantorel.1.gz", "share/man/fr/man1/vantorel-cli.1.gz",
                     "share/bash-completion/completions/vantorel-cli", "share/vantorel/GeolocEnCours.gif",
                     "share/doc/vantorel/copyright", "share/doc/vantorel/changelog.gz"):
            if not os.path.exists(os.path.join(usr, path)):
                fault("the package lacks /usr/" + path)
        copyright_text = open(os.path.join(usr, "share/doc/vantorel/copyright"), encoding="utf-8").read()
        if "License: GPL-3+" not in copyright_text or "proprietary" in copyright_text:
            fault("the package's copyright is not the GPL's")
        # The full metadata reader is a module the programs load from the package's library folder,
        # wherever the package is unpacked: not from the build folder.
        modules = glob.glob(os.path.join(usr, "lib", "*", "vantorel", "libvantorel-exiv2.so"))
        if len(modules) != 1:
            fault(f"the package's metadata module: {modules}")
        binaries = [os.path.join(usr, "bin/vantorel"), os.path.join(usr, "bin/vantorel-cli"), *modules]
        fortified = []
        for binary in binaries:
            # Nothing of where it was built: no path of the folder the package was built in.
            strings = run(["strings", "-a", binary]).stdout
            built = [line for line in strings.splitlines() if os.path.dirname(changes) in line]
            if built:
                fault(f"{binary} keeps build paths: {built[:5]}")
            r = run(["hardening-check", "--nocfprotection", binary])
            print(r.stdout)
            wanted = ["Stack protected", "Immediate binding", "Read-only relocations"]
            if "/bin/" in binary:
                wanted.append("Position Independent Executable")
            if not all(f"{what}: yes" in r.stdout for what in wanted):
                fault("hardening-check: " + r.stdout + r.stderr)
            # Built fortified (blhc checks the build log); a binary whose calls the compiler cannot
            # bound links no checked variant, and says so, but never a mix of the two.
            if "Fortify Source functions: yes" in r.stdout:
                fortified.append(binary)
            elif "Fortify Source functions: no, only unprotected functions found" not in r.stdout:
                fault("hardening-check fortify: " + r.stdout)
            dynamic = run(["readelf", "-d", binary]).stdout
            if "BIND_NOW" not in dynamic and "NOW" not in dynamic:
                fault(f"{binary}: no BIND_NOW")
        if os.path.join(usr, "bin/vantorel") not in fortified:
            fault("the window links no fortified function")
        photo = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "fuzz", "corpus",
                             "sample-Canon_40D.jpg")
        r = run([os.path.join(usr, "bin/vantorel-cli"), "exif", photo], env=dict(os.environ, LD_DEBUG="files"))
        loaded = [line for line in r.stderr.splitlines() if "libvantorel-exiv2" in line and "file=" in line]
        if r.returncode != 0 or "EquipModel" not in r.stdout or not any(root in line for line in loaded):
            fault(f"the unpacked vantorel-cli does not read Exif through its own module: {loaded} {r.stdout[:200]}")
        for name, sub in (("vantorel", "bin/vantorel"), ("vantorel-cli", "bin/vantorel-cli")):
            program = os.path.join(usr, sub)
            check_version(program, version)
            french = os.path.join(usr, "share/man/fr/man1", name + ".1.gz")
            check_manual_against_help(french, program)
            check_english_manual(os.path.join(usr, "share/man/man1", name + ".1.gz"), french)


def main():
    what, *args = sys.argv[1:]
    args = [os.path.abspath(a) if os.path.exists(a) else a for a in args]
    {"identity": check_identity, "manuals": check_manuals, "completion": check_completion,
     "package": check_package}[what](*args)
    print(f"{len(faults)} fault(s)")
    sys.exit(1 if faults else 0)


main()
