#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A day of photos placed on a one-day track (86,400 fixes), the whole command writing its copies,
# against gpscorrelate (in place, on copies made beforehand, untimed) and exiftool -geotag
# (copies into a folder): whole process against whole process, in the same run on the same
# photos, RUNS runs of each (hyperfine), for three sets of photos of the sizes people have:
#   phone    real phone photos of 2.4 to 3.7 MB (iPhone 5, 6, 6 Plus, Nexus 4), taken in turn;
#   camera   real camera photos of 330 KB to 7.8 MB, taken in turn: Canon EOS 7D (348 KB), Nikon
#            D70s (890 KB), Leica T (3.2 MB), Panasonic LX3 (3.4 MB), and the 22-megapixel Canon
#            EOS 5D Mark III sample made 7.8 MB (below);
#   small    the 8 KB Canon 40D sample the earlier figures were measured with.
# Each photo is its model's file with the GPS items and XMP taken out and its dates set to its
# moment of 2024-06-01 (exiftool, once per model; then the date texts replaced byte for byte).
# Usage: bench/correlate_bench.sh [build-dir] [photos per set, 200] [runs, 3] [sets, "phone camera small"]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
N=${2:-200}
RUNS=${3:-3}
SETS=${4:-phone camera small}
CLI=$(realpath "$BUILD/src/cli/vantorel-cli")
SAMPLES=$(realpath "${VANTOREL_SAMPLES:-tests/data/real}")
for tool in gpscorrelate exiftool hyperfine jq djpeg cjpeg python3; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (scripts/setup.sh --bench)" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/correlate-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TZ=UTC LC_ALL=C.UTF-8

declare -A models=(
  [phone]="mdextract_Apple_iPhone_5.jpg mdextract_Apple_iPhone_6.jpg mdextract_Apple_iPhone_6_plus.jpg mdextract_LGE_Nexus_4.jpg"
  [camera]="mdextract_Canon_EOS_7D.jpg exifsamples_Nikon_D70s_87.jpg mdextract_Leica_T_Typ701.jpg mdextract_Panasonic_DMC-LX3.jpg canon-5d3-q100.jpg"
  [small]="exifsamples_Canon_40D.jpg"
)

# The 8 MB camera photo: the 5760 x 3840 sample's picture at quality 100 (4.5 MB: the scene is
# smooth), its Exif block copied back, and a second picture after the first's end as cameras that
# keep a large preview in an MPF trailer write it (the Leica sample, 3.2 MB): 7.8 MB in all, every
# tool copying the trailer with the photo.
djpeg "$SAMPLES/mdextract_Issue_266_5760x3840.jpg" | cjpeg -quality 100 -optimize >"$work/canon-5d3-q100.jpg"
exiftool -q -q -m -overwrite_original -tagsFromFile "$SAMPLES/mdextract_Issue_266_5760x3840.jpg" -exif:all \
  "$work/canon-5d3-q100.jpg"
cat "$SAMPLES/mdextract_Leica_T_Typ701.jpg" >>"$work/canon-5d3-q100.jpg"

# The track: one fix a second over 2024-06-01.
python3 - "$work/day.gpx" <<'PY'
import math, sys
with open(sys.argv[1], "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<gpx version="1.1" creator="bench" '
            'xmlns="http://www.topografix.com/GPX/1/1">\n<trk><trkseg>\n')
    for s in range(86400):
        lat = 45 + 0.3 * math.sin(s / 5000.0)
        lon = 5 + 0.4 * math.cos(s / 7000.0)
        f.write('<trkpt lat="%.7f" lon="%.7f"><ele>%.1f</ele><time>2024-06-01T%02d:%02d:%02dZ</time></trkpt>\n'
                % (lat, lon, 300 + 100 * math.sin(s / 3000.0), s // 3600, s // 60 % 60, s % 60))
    f.write('</trkseg></trk>\n</gpx>\n')
PY

echo "correlate: $N photos per set, track of 86,400 fixes, $RUNS runs each (hyperfine), $(nproc) processors"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for set in $SETS; do
  dir="$work/$set"
  mkdir -p "$dir/models" "$dir/src"
  for model in ${models[$set]}; do
    from="$SAMPLES/$model"
    [ -f "$from" ] || from="$work/$model"
    exiftool -q -q -m -gps:all= -xmp:all= -AllDates="2024:06:01 00:00:00" -OffsetTime*= \
      -o "$dir/models/$model" "$from"
  done
  python3 - "$dir/models" "$dir/src" "$N" <<'PY'
import os, sys
models_dir, out, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
models = sorted(os.listdir(models_dir))
data = [open(os.path.join(models_dir, m), "rb").read() for m in models]
old = b"2024:06:01 00:00:00"
for d, m in zip(data, models):
    assert old in d, m
for i in range(n):
    t = 60 + i * (86400 - 120) // n
    stamp = b"2024:06:01 %02d:%02d:%02d" % (t // 3600, t // 60 % 60, t % 60)
    with open(os.path.join(out, "p%06d.jpg" % i), "wb") as f:
        f.write(data[i % len(data)].replace(old, stamp))
PY
  sizes=$(for m in "$dir"/models/*; do stat -c %s "$m"; done | sort -n | awk '{ printf "%s%.0f KB", (NR > 1 ? ", " : ""), $1 / 1024 }')
  total=$(du -sm "$dir/src" | cut -f1)
  cd "$dir"
  mkdir -p ours
  cp src/* ours/
  cp "$work/day.gpx" .
  cat src/* ours/* day.gpx >/dev/null
  hyperfine --runs "$RUNS" --export-json "$dir/times.json" \
    --prepare 'rm -f ours/\#*' -n vantorel "$CLI correlate --track day.gpx --tz UTC ours/p*.jpg >ours.tsv" \
    --prepare 'rm -rf gc && cp -r src gc && sync' -n gpscorrelate "gpscorrelate -g day.gpx -z 0 gc/*.jpg >gc.log 2>&1" \
    --prepare 'rm -rf exif' -n exiftool "exiftool -q -q -m -geotag day.gpx -o exif/ src/*.jpg" \
    >"$dir/hyperfine.log" 2>&1 || { cat "$dir/hyperfine.log"; exit 1; }
  # Every tool placed every photo (the last run's output).
  ours_written=$(grep -c $'\twritten\t' ours.tsv || true)
  gc_written=$(exiftool -q -q -if '$GPSLatitude' -p '$FileName' gc 2>/dev/null | wc -l)
  ex_written=$(exiftool -q -q -if '$GPSLatitude' -p '$FileName' exif 2>/dev/null | wc -l)
  median() { jq -r ".results[] | select(.command == \"$1\") | .median * 1000 | floor" "$dir/times.json"; }
  spread() { jq -r ".results[] | select(.command == \"$1\") | \"\(.min * 1000 | floor)-\(.max * 1000 | floor)\"" "$dir/times.json"; }
  ours=$(median vantorel) gc=$(median gpscorrelate) ex=$(median exiftool)
  echo
  echo "set $set: $N photos, $total MB (models: $sizes), load $(cut -d' ' -f1-3 /proc/loadavg)"
  printf '  %-28s %8d ms (%s)  %5d copies\n' "vantorel-cli correlate" "$ours" "$(spread vantorel)" "$ours_written"
  printf '  %-28s %8d ms (%s)  %5d photos  vantorel/gpscorrelate %.2f\n' "gpscorrelate (in place)" "$gc" \
    "$(spread gpscorrelate)" "$gc_written" "$(awk -v a="$ours" -v b="$gc" 'BEGIN { print a / b }')"
  printf '  %-28s %8d ms (%s)  %5d copies  exiftool/vantorel %.1f\n' "exiftool -geotag -o DIR/" "$ex" \
    "$(spread exiftool)" "$ex_written" "$(awk -v a="$ex" -v b="$ours" 'BEGIN { print a / b }')"
  cd - >/dev/null
  rm -rf "$dir"
done
