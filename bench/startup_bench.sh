#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The command line's start and one copy, whole process against whole process, in one run:
#   - vantorel-cli --help against exiv2 --version;
#   - vantorel-cli write (the "#" copy of a ~100 KB camera photo, four GPS items) against
#     exiv2 -M setting the same four items on a copy made beforehand (untimed);
#   - the same two over 300 photos in a shell loop;
#   - the floors: an empty C program, a Qt Core program (QCoreApplication, one line out);
#   - where the time goes: the loop of vantorel-cli write with fsync made a no-op by a preloaded stub (not a
#     mode of the tool: its copies are flushed to disk before and after their rename; exiv2 -M
#     flushes nothing).
#   bench/startup_bench.sh [PHOTO]
# Environment: VANTOREL_CLI (default build/src/cli/vantorel-cli), BENCH_DIR (default
# bench/out/startup), LOOP (photos in the loop, 300 by default).
# Prints figures only: it never fails because of a result.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cli=${VANTOREL_CLI:-$root/build/src/cli/vantorel-cli}
out=${BENCH_DIR:-$here/out/startup}
loop=${LOOP:-300}
photo=${1:-$root/tests/data/real/mdextract_Nikon_D1X.jpg}

for tool in hyperfine exiv2 cc c++ pkg-config python3 "$cli"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[ -r "$photo" ] || { echo "no photo: $photo" >&2; exit 2; }

rm -rf "$out"
mkdir -p "$out/one" "$out/cli" "$out/exiv2"

# The floors, built as the tool is (-O2, dynamic).
printf 'int main(void) { return 0; }\n' >"$out/empty.c"
cc -O2 -o "$out/empty" "$out/empty.c"
cat >"$out/qtcore.cpp" <<'EOF'
#include <QCoreApplication>
#include <QTextStream>
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << "Qt Core\n";
    return 0;
}
EOF
c++ -O2 -std=c++20 -fPIC $(pkg-config --cflags Qt6Core) -o "$out/qtcore" "$out/qtcore.cpp" \
    $(pkg-config --libs Qt6Core)

# fsync and fdatasync doing nothing, preloaded into vantorel-cli alone.
printf 'int fsync(int fd) { (void)fd; return 0; }\nint fdatasync(int fd) { (void)fd; return 0; }\n' \
    >"$out/nosync.c"
cc -O2 -shared -fPIC -o "$out/nosync.so" "$out/nosync.c"

# 48.8584 N, 2.2945 E, as the tool writes it and as exiv2 is told.
lat=48.8584
lon=2.2945
exiv2_items=(-M"set Exif.GPSInfo.GPSLatitudeRef N" -M"set Exif.GPSInfo.GPSLatitude 48/1 51/1 3024/100"
             -M"set Exif.GPSInfo.GPSLongitudeRef E" -M"set Exif.GPSInfo.GPSLongitude 2/1 17/1 4020/100")

cp "$photo" "$out/one/p.jpg"
cp "$photo" "$out/one/e.jpg"
for n in $(seq -w 1 "$loop"); do
    cp "$photo" "$out/cli/p$n.jpg"
    cp "$photo" "$out/exiv2/p$n.jpg"
done
# Both loops are the same shell script, one tool each.
cat >"$out/cli.sh" <<EOF
for f in "$out"/cli/p*.jpg; do "$cli" write "\$f" $lat $lon --force >/dev/null || exit 1; done
EOF
cat >"$out/cli-nosync.sh" <<EOF
for f in "$out"/cli/p*.jpg; do LD_PRELOAD="$out/nosync.so" "$cli" write "\$f" $lat $lon --force >/dev/null || exit 1; done
EOF
{
    printf 'for f in "%s"/exiv2/p*.jpg; do exiv2' "$out"
    printf " '%s'" "${exiv2_items[@]}"
    printf ' "$f" || exit 1; done\n'
} >"$out/exiv2.sh"

echo "photo: $(basename "$photo") ($(stat -c %s "$photo") bytes); loop of $loop photos"
echo "libraries loaded by vantorel-cli: $(ldd "$cli" | wc -l); by exiv2: $(ldd "$(command -v exiv2)" | wc -l)"

exiv2_one=(exiv2 "${exiv2_items[@]}" "$out/one/e.jpg")
hyperfine -N --warmup 20 --min-runs 200 --export-json "$out/start.json" \
    -n "empty C program" "$out/empty" \
    -n "Qt Core program" "$out/qtcore" \
    -n "exiv2 --version" "exiv2 --version" \
    -n "vantorel-cli --help" "$cli --help" \
    -n "exiv2 -M (4 items)" "$(printf '%q ' "${exiv2_one[@]}")" \
    -n "vantorel-cli write" "$cli write $out/one/p.jpg $lat $lon --force" >/dev/null
hyperfine --warmup 1 --runs 5 --export-json "$out/loop.json" \
    -n "exiv2 -M loop" "sh $out/exiv2.sh" \
    -n "vantorel-cli write loop" "sh $out/cli.sh" \
    -n "loop, fsync stubbed" "sh $out/cli-nosync.sh" >/dev/null

python3 - "$out/start.json" "$out/loop.json" <<'EOF'
import json, sys
m = {}
for path in sys.argv[1:]:
    for r in json.load(open(path))["results"]:
        m[r["command"]] = r["median"] * 1000
def row(name, peer=None):
    ratio = f"{m[name] / m[peer]:.2f}x {peer}" if peer else ""
    print(f"{name:26} {m[name]:9.2f} ms  {ratio}")
print("median, whole process")
row("empty C program")
row("Qt Core program", "exiv2 --version")
row("exiv2 --version")
row("vantorel-cli --help", "exiv2 --version")
row("exiv2 -M (4 items)")
row("vantorel-cli write", "exiv2 -M (4 items)")
row("exiv2 -M loop")
row("vantorel-cli write loop", "exiv2 -M loop")
row("loop, fsync stubbed", "exiv2 -M loop")
EOF
