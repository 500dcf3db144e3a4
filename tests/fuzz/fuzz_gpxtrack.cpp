// SPDX-License-Identifier: GPL-3.0-or-later
// The track readers on a fuzzed track file: the GPX reader on the bytes in memory, and the track
// files' loading from the file as the window and the command line do. Either reading is refused
// with a message and no fix, or every fix is on the globe, within 100 km of sea level, at a time
// of years 1 to 9999 that reads back from its written form, in the order of its segments; the
// file's loading gives the same fixes, sorted by time.
#include "fuzzinput.h"
#include "tracks/correlation.h"
#include "tracks/gpxreader.h"
#include "tracks/trackfiles.h"

#include <QBuffer>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

namespace {

using vantorel::fuzz::fail;

// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59.999Z, with the widest offset either side.
constexpr qint64 kFirstMs = -62135596800000LL - 14 * 3600000LL;
constexpr qint64 kLastMs = 253402300799999LL + 14 * 3600000LL;

// `inFileOrder`: the reader's own order, where segments never go back.
void checkFixes(const vantorel::TrackReading& r, int firstSegment, size_t inputSize, bool inFileOrder) {
    if (!r.ok()) {
        if (!r.fixes.empty()) fail("a refused track keeps fixes");
        return;
    }
    // A timed point takes more than 40 bytes of markup ("<wpt lat='0' lon='0'><time>...").
    if (r.fixes.size() > inputSize / 40 + 1) fail("more fixes than the file holds");
    int segment = firstSegment - 1;
    for (const vantorel::TrackFix& fix : r.fixes) {
        if (!std::isfinite(fix.latitude) || std::abs(fix.latitude) > 90) fail("latitude off the globe");
        if (!std::isfinite(fix.longitude) || std::abs(fix.longitude) > 180) fail("longitude off the globe");
        if (fix.hasElevation ? !(std::abs(fix.elevation) <= 1e5) : fix.elevation != 0)
            fail("elevation beyond 100 km");
        if (fix.utcMs < kFirstMs || fix.utcMs > kLastMs) fail("time outside years 1 to 9999");
        if (fix.segment < firstSegment - 1 || (inFileOrder && fix.segment < segment))
            fail("segments out of order");
        segment = fix.segment;
        // The written time reads back to the same millisecond (years 2 to 9998: the offset may
        // carry a time across the first or last year, which is not written back).
        if (fix.utcMs > kFirstMs + 366 * 86400000LL && fix.utcMs < kLastMs - 366 * 86400000LL) {
            const auto back = vantorel::parseIsoTime(vantorel::formatUtc(fix.utcMs));
            if (!back || *back != fix.utcMs) fail("time does not read back");
        }
    }
}

// Time and place of each fix, a run of the same kept once.
std::vector<std::tuple<qint64, double, double>> once(const std::vector<vantorel::TrackFix>& fixes) {
    std::vector<std::tuple<qint64, double, double>> out;
    for (const vantorel::TrackFix& f : fixes)
        if (out.empty() || out.back() != std::tuple(f.utcMs, f.latitude, f.longitude))
            out.emplace_back(f.utcMs, f.latitude, f.longitude);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    constexpr int kFirstSegment = 3;
    const vantorel::TrackReading inMemory = vantorel::readGpx(buffer, QStringLiteral("t.gpx"), kFirstSegment);
    checkFixes(inMemory, kFirstSegment, size, true);
    if (!inMemory.ok() && !inMemory.error.contains(QStringLiteral("« t.gpx »")))
        fail("message without the name");

    // The file's way, as the window and the command line read it (named .gpx: no converter runs).
    const QString& path = vantorel::fuzz::writeInput(data, size, "gpx");
    const vantorel::TrackReading loaded = vantorel::loadTracks({path});
    if (loaded.ok() == loaded.fixes.empty()) fail("loaded: fixes and message disagree");
    checkFixes(loaded, 0, size, false);
    if (!std::is_sorted(loaded.fixes.begin(), loaded.fixes.end(),
                        [](const auto& a, const auto& b) { return a.utcMs < b.utcMs; }))
        fail("loaded fixes not sorted by time");
    // The same fixes both ways, in time order (a fix repeated at the same time and place may be
    // kept once).
    const bool memoryGives = inMemory.ok() && !inMemory.fixes.empty();
    const QByteArray head = bytes.left(4096);
    if ((head.contains("<gpx") || head.contains(":gpx")) && memoryGives != loaded.ok())
        fail("file and memory disagree");
    if (loaded.ok()) {
        if (!memoryGives) fail("the file gives fixes the bytes do not");
        std::vector<vantorel::TrackFix> sorted = inMemory.fixes;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& a, const auto& b) { return a.utcMs < b.utcMs; });
        if (once(sorted) != once(loaded.fixes)) fail("file and memory read different fixes");
    }
    return 0;
}
