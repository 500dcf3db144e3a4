#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Compares `vantorel-cli exif` with exiv2's own listing (`exiv2 -pv`) on real photos.

Usage: check_exif_vs_exiv2.py VANTOREL_CLI SAMPLES_DIR

For every *.jpg of SAMPLES_DIR, every item exiv2 lists in the groups Image, Photo and GPSInfo
(in its order), then in the group Thumbnail, must be a row of our listing, in the same order and
with no row besides. exiv2 runs with -u: its default listing hides the tags it has no name for in
their group (0x9211 in the Exif directory, entries of unknown type...), which we do list. Each row
has the catalogue's name for its id (or "Tag inconnu"), the type name, and a value that agrees
with exiv2's numbers under our formatting rules. Both programs run under a time limit, so a photo
that makes either hang or crash fails too. Exits non-zero when any photo fails.
"""
import math
import os
import re
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CATALOGUE_SOURCE = os.path.join(HERE, "..", "src", "core", "metadata", "tagcatalogue.cpp")
TIMEOUT = 60

TYPE_NAMES = {
    "Byte": "U. Byte", "Ascii": "ASCII", "Short": "U. Short", "Long": "U. Long",
    "Rational": "U. Rational", "SByte": "S. Byte", "Undefined": "Undefined", "SShort": "S. Short",
    "SLong": "S. Long", "SRational": "S. Rational", "Float": "Single Float", "Double": "Double Float",
}

# Thumbnail directory ids are listed under ids of their own.
THUMBNAIL_IDS = {
    0x0100: 0x5020, 0x0101: 0x5021, 0x0102: 0x5022, 0x0103: 0x5023, 0x0106: 0x5024, 0x010E: 0x5025,
    0x010F: 0x5026, 0x0110: 0x5027, 0x0111: 0x5028, 0x0112: 0x5029, 0x0115: 0x502A, 0x0116: 0x502B,
    0x0117: 0x502C, 0x011A: 0x502D, 0x011B: 0x502E, 0x011C: 0x502F, 0x0128: 0x5030, 0x012D: 0x5031,
    0x0131: 0x5032, 0x0132: 0x5033, 0x013B: 0x5034, 0x013E: 0x5035, 0x013F: 0x5036, 0x0211: 0x5037,
    0x0212: 0x5038, 0x0213: 0x5039, 0x0214: 0x503A, 0x8298: 0x503B,
}

# Undefined items that exiv2 prints decoded (charset and text) rather than as bytes.
COMMENT_IDS = {0x9286, 0x001B, 0x001C}

MAIN_GROUPS = ("Image", "Photo", "GPSInfo")

LINE = re.compile(rb"^0x([0-9a-f]{4}) (\S+) +(\S+) +(\S+) +(\d+)(?:  (.*))?$")
FIXED = r"-?\d+,\d+|-?\d(?:,\d+)?E-?\d+"  # FloatToStrF with decimals
WHOLE = r"-?\d+|-?\d(?:,\d+)?E-?\d+"  # FloatToStrF without


def load_catalogue():
    names = {}
    with open(CATALOGUE_SOURCE, encoding="latin-1") as f:
        for m in re.finditer(r'\{0x([0-9A-F]{4}), "((?:[^"\\]|\\xA0)*)"\}', f.read()):
            names[int(m.group(1), 16)] = m.group(2).replace("\\xA0", "\u00a0")
    if len(names) != 513:
        sys.exit("cannot read the tag catalogue from %s (%d names)" % (CATALOGUE_SOURCE, len(names)))
    return names


def decode_text(raw):
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("latin-1")


def exiv2_items(path):
    """The items exiv2 lists: (id, group, type, count, raw value bytes)."""
    proc = subprocess.run(["exiv2", "-u", "-pv", path], capture_output=True, timeout=TIMEOUT)
    items = []
    for line in proc.stdout.split(b"\n")[:-1]:
        m = LINE.match(line)
        if m:
            items.append([int(m.group(1), 16), m.group(2).decode(), m.group(4).decode(), int(m.group(5)),
                          m.group(6) or b""])
        elif items:  # a value running over several lines
            items[-1][4] += b"\n" + line
    return items


def unescape(cell):
    out, i = [], 0
    while i < len(cell):
        c = cell[i]
        if c == "\\" and i + 1 < len(cell):
            n = cell[i + 1]
            if n == "t":
                out.append("\t"); i += 2; continue
            if n == "n":
                out.append("\n"); i += 2; continue
            if n == "\\":
                out.append("\\"); i += 2; continue
            if n == "x":
                out.append(chr(int(cell[i + 2:i + 4], 16))); i += 4; continue
        out.append(c)
        i += 1
    return "".join(out)


def our_rows(cli, path):
    env = dict(os.environ, LC_ALL="fr_FR.UTF-8", QT_QPA_PLATFORM="offscreen")
    proc = subprocess.run([cli, "exif", path], capture_output=True, timeout=TIMEOUT, env=env)
    if proc.returncode not in (0, 1):
        raise RuntimeError("vantorel-cli exited with %d: %s" % (proc.returncode, proc.stderr[-300:]))
    rows = []
    for line in proc.stdout.decode("utf-8").split("\n")[:-1]:
        cells = line.split("\t")
        if len(cells) != 3:
            raise RuntimeError("line without three cells: %r" % line[:200])
        rows.append([unescape(c) for c in cells])
    if rows == [["", "", ""]]:
        rows = []
    return rows, proc.returncode


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def number(text):
    return float(text.replace(",", "."))


def close(shown, value, decimals):
    if "E" in shown:  # scientific form: 8 significant digits
        return math.isclose(number(shown), value, rel_tol=1e-7)
    return abs(number(shown) - value) <= 0.5 * 10 ** -decimals + 1e-9 + 2e-7 * abs(value)


def check_rational(tag, type_name, raw, ours):
    pairs = []
    for p in raw.split():
        n, _, d = p.partition(b"/")
        pairs.append((int(n), int(d)))
    if not pairs or len(pairs) > 3 or any(d == 0 for _, d in pairs):
        return ours == "" or "expected an empty cell"
    values = [f32(n / d) for n, d in pairs]
    if len(pairs) == 1 and tag == 0x829A and type_name == "Rational" and values[0] != 0:
        m = re.fullmatch(r"(%s)   \(1/(%s)\)" % (FIXED, WHOLE), ours)
        return (m and close(m.group(1), values[0], 4) and close(m.group(2), f32(1 / values[0]), 0)) or \
            "exposure form"
    if len(pairs) == 3 and tag in (2, 4) and type_name == "Rational":
        m = re.fullmatch(r"(-?\d+)°    (%s)'    (%s)''  " % (FIXED, FIXED), ours)
        return (m and int(m.group(1)) == math.trunc(values[0]) and close(m.group(2), values[1], 2)
                and close(m.group(3), values[2], 2)) or "degree form"
    m = re.fullmatch("    ".join(["(%s)" % FIXED] * len(values)) + "  ", ours)
    return (m and all(close(m.group(k + 1), v, 2) for k, v in enumerate(values))) or "plain form"


def check_value(tag, group, type_name, count, raw, ours, catalogue):
    if type_name not in TYPE_NAMES:
        return ours == "" or "expected an empty cell"
    if type_name == "Ascii":
        return ours == decode_text(raw) or "text differs"
    if type_name in ("Rational", "SRational"):
        return check_rational(tag, type_name, raw, ours)
    if type_name == "Undefined":
        if tag not in catalogue:
            return ours == "[Tag = 0x%04X]" % tag or "unknown id form"
        if len(ours) != 2 * count or set(ours[0::2]) - {" "}:
            return "not one character per byte"
        if tag in COMMENT_IDS and group != "Thumbnail":
            return True
        got = [0 if c == "\u2400" else ord(c) for c in ours[1::2]]
        return got == [int(x) for x in raw.split()] or "bytes differ"
    if type_name in ("Float", "Double"):
        got = [number(x) for x in ours.split()]
        want = [float(x) for x in raw.split()]
        return (len(got) == len(want) and all(math.isclose(a, b, rel_tol=1e-5) for a, b in zip(got, want))) \
            or "floats differ"
    # Integers: bytes in octal (signed bytes widened to 32 bits), the others in decimal.
    if tag == 0x0112 and group != "Thumbnail":
        ours = re.sub(r"  \(.*\)$", "", ours)
    if not re.fullmatch(r"( -?\d+)*", ours):
        return "not a list of integers"
    if type_name == "Byte":
        got = [int(x, 8) for x in ours.split()]
    elif type_name == "SByte":
        got = [int(x, 8) - (1 << 32 if int(x, 8) >= 1 << 31 else 0) for x in ours.split()]
    else:
        got = [int(x) for x in ours.split()]
    return got == [int(x) for x in raw.split()] or "numbers differ"


def check_photo(cli, path, catalogue):
    items = exiv2_items(path)
    expected = [i for i in items if i[1] in MAIN_GROUPS] + [i for i in items if i[1] == "Thumbnail"]
    rows, code = our_rows(cli, path)
    problems = []
    if len(rows) != len(expected):
        problems.append("%d rows, exiv2 lists %d items" % (len(rows), len(expected)))
    for k, ((tag, group, type_name, count, raw), row) in enumerate(zip(expected, rows)):
        listed_id = THUMBNAIL_IDS.get(tag, tag) if group == "Thumbnail" else tag
        name = catalogue.get(listed_id, "Tag inconnu")
        where = "row %d (0x%04x %s %s)" % (k + 1, tag, group, type_name)
        if row[0] != name:
            problems.append("%s: name %r, expected %r" % (where, row[0], name))
            break  # the rest would only repeat the shift
        if row[1] != TYPE_NAMES.get(type_name, ""):
            problems.append("%s: type %r" % (where, row[1]))
        verdict = check_value(listed_id, group, type_name, count, raw, row[2], catalogue)
        if verdict is not True:
            problems.append("%s: %s: %r / exiv2 %r" % (where, verdict, row[2][:80], raw[:80]))
    return problems


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    cli, samples = sys.argv[1], sys.argv[2]
    catalogue = load_catalogue()
    photos = sorted(f for f in os.listdir(samples) if f.lower().endswith(".jpg"))
    passed = failed = 0
    for name in photos:
        path = os.path.join(samples, name)
        try:
            problems = check_photo(cli, path, catalogue)
        except subprocess.TimeoutExpired as e:
            problems = ["%s took longer than %d s" % (e.cmd[0], TIMEOUT)]
        except (RuntimeError, ValueError, UnicodeDecodeError) as e:
            problems = [str(e)]
        if problems:
            failed += 1
            print("FAIL %s" % name)
            for p in problems[:10]:
                print("    " + p)
        else:
            passed += 1
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or not photos else 0


if __name__ == "__main__":
    sys.exit(main())
