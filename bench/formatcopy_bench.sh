#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The geotagged copy of large non-JPEG photos against exiftool writing the same copy (-o), in one
# run, whole process against whole process (hyperfine, no shell; the copy removed before each run):
# a 25 MB uncompressed TIFF made by ImageMagick, and a RAW-shaped file of the same size (a small
# preview in the main directory, a 16-bit sensor mosaic in a sub-directory, a maker note), each
# with a position, a camera and XMP put by exiftool. Also PNG and WebP of 12 megapixels.
#   bench/formatcopy_bench.sh [RUNS]
# Environment: VANTOREL_BUILD (build dir, default build).
# Prints figures only: it never fails because of a result.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-10}
build=${VANTOREL_BUILD:-$root/build}
cli=$build/src/cli/vantorel-cli
convert=/usr/bin/convert
out=$here/out/formatcopy

for tool in exiftool hyperfine jq python3 "$convert"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "missing: $cli (build target vantorel-cli)" >&2; exit 2; }

mkdir -p "$out"
tags=(-q -m -overwrite_original -GPSLatitude=48.5 -GPSLatitudeRef=N -GPSLongitude=2.25 -GPSLongitudeRef=E
      -Make=Cam -Model=Bench -XMP:GPSLatitude=48.5 -XMP:GPSLongitude=2.25)

tiff=$out/photo25mb.tif
if [ ! -s "$tiff" ]; then
    echo "making $tiff (2900x2900 RGB, uncompressed)..."
    "$convert" -size 2900x2900 -seed 7 plasma:fractal -depth 8 -compress none "tif:$tiff.part"
    exiftool "${tags[@]}" "$tiff.part"
    mv "$tiff.part" "$tiff"
fi

raw=$out/camera25mb.dng
if [ ! -s "$raw" ]; then
    echo "making $raw (RAW-shaped, 4096x3072 16-bit mosaic)..."
    python3 - "$raw.part" <<'EOF'
import struct, sys, random
W, H = 4096, 3072
def directory(entries, at):
    # entries: (tag, type, count, bytes); values after the table
    table = struct.pack('<H', len(entries)); values = b''; vat = at + 2 + 12 * len(entries) + 4
    for tag, typ, count, value in entries:
        if len(value) <= 4:
            table += struct.pack('<HHI', tag, typ, count) + value.ljust(4, b'\0')
        else:
            table += struct.pack('<HHII', tag, typ, count, vat + len(values)); values += value + b'\0' * (len(value) % 2)
    return table + struct.pack('<I', 0) + values
ifd0, sub, exif, preview, rawAt = 8, 1024, 2048, 4096, 65536
note = b'MAKER\0' + struct.pack('<I', rawAt) + b'Z' * 54
s = lambda v: struct.pack('<H', v); l = lambda v: struct.pack('<I', v)
d0 = directory([(0xFE, 4, 1, l(1)), (0x100, 3, 1, s(160)), (0x101, 3, 1, s(120)), (0x102, 3, 3, s(8) * 3),
                (0x103, 3, 1, s(1)), (0x106, 3, 1, s(2)), (0x10F, 2, 4, b'Cam\0'), (0x111, 4, 1, l(preview)),
                (0x115, 3, 1, s(3)), (0x116, 3, 1, s(120)), (0x117, 4, 1, l(160 * 120 * 3)), (0x14A, 4, 1, l(sub)),
                (0x8769, 4, 1, l(exif)), (0xC612, 1, 4, b'\x01\x04\x00\x00')], ifd0)
d1 = directory([(0xFE, 4, 1, l(0)), (0x100, 3, 1, s(W)), (0x101, 3, 1, s(H)), (0x102, 3, 1, s(16)),
                (0x103, 3, 1, s(1)), (0x106, 3, 1, s(32803)), (0x111, 4, 1, l(rawAt)), (0x115, 3, 1, s(1)),
                (0x116, 3, 1, s(H)), (0x117, 4, 1, l(W * H * 2)), (0x828D, 3, 2, s(2) + s(2)),
                (0x828E, 1, 4, b'\x00\x01\x01\x02')], sub)
d2 = directory([(0x9003, 2, 20, b'2024:05:06 10:20:30\0'), (0x927C, 7, len(note), note)], exif)
head = bytearray(rawAt)
head[0:8] = b'II*\0' + l(ifd0)
for at, d in ((ifd0, d0), (sub, d1), (exif, d2)):
    head[at:at + len(d)] = d
head[preview:preview + 160 * 120 * 3] = bytes((k * 7) & 255 for k in range(160 * 120 * 3))
rnd = random.Random(7)
with open(sys.argv[1], 'wb') as f:
    f.write(head)
    f.write(rnd.randbytes(W * H * 2))
EOF
    exiftool "${tags[@]}" "$raw.part"
    mv "$raw.part" "$raw"
fi

png=$out/photo12mp.png
webp=$out/photo12mp.webp
if [ ! -s "$png" ] || [ ! -s "$webp" ]; then
    echo "making $png and $webp (4000x3000)..."
    "$convert" -size 4000x3000 -seed 7 plasma:fractal "png:$png.part"
    exiftool "${tags[@]}" "$png.part"
    mv "$png.part" "$png"
    jpeg=$out/photo12mp.jpg
    "$convert" -size 4000x3000 -seed 7 plasma:fractal -quality 90 "jpg:$jpeg"
    exiftool "${tags[@]}" "$jpeg"
    "$convert" "$jpeg" -quality 90 "webp:$webp.part"
    mv "$webp.part" "$webp"
fi

# Median wall time and mean CPU time (user + system) of each command, and the ratio of medians.
report() {
    jq -r '.results[] | "\(.command): median \(.median * 1000 | floor) ms (\(.min * 1000 | floor) to \(.max * 1000 | floor)), CPU \((.user + .system) * 1000 | floor) ms"' "$1"
    jq -r '"ratio: \(.results[0].median / .results[1].median * 100 | floor / 100)"' "$1"
}

for file in "$tiff" "$raw" "$png"; do
    name=$(basename "$file")
    copy=$out/\#$name
    other=$out/exiftool-$name
    echo
    echo "== $name ($(stat -c %s "$file") bytes)"
    json=$out/$name.json
    hyperfine -N --warmup 2 --runs "$runs" --export-json "$json" \
        -n "vantorel-cli write" --prepare "rm -f $copy" "$cli write $file 33.8568 151.2153" \
        -n "exiftool -o" --prepare "rm -f $other" \
        "exiftool -q -m -o $other -GPSLatitude=33.8568 -GPSLatitudeRef=N -GPSLongitude=151.2153 -GPSLongitudeRef=E $file" \
        >/dev/null
    report "$json"
done

# exiftool cannot write WebP: exiv2 sets the same items in a copy made before each run (the copy
# itself not timed).
name=$(basename "$webp")
copy=$out/\#$name
other=$out/exiv2-$name
echo
echo "== $name ($(stat -c %s "$webp") bytes)"
json=$out/$name.json
hyperfine -N --warmup 2 --runs "$runs" --export-json "$json" \
    -n "vantorel-cli write" --prepare "rm -f $copy" "$cli write $webp 33.8568 151.2153" \
    -n "exiv2 -M (in a copy)" --prepare "cp $webp $other" \
    "exiv2 -M'set Exif.GPSInfo.GPSLatitudeRef N' -M'set Exif.GPSInfo.GPSLatitude 33/1 514080/10000 0/1' -M'set Exif.GPSInfo.GPSLongitudeRef E' -M'set Exif.GPSInfo.GPSLongitude 151/1 129180/10000 0/1' $other" \
    >/dev/null
report "$json"
