// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile JPEG files made byte by byte: pictures declaring a huge size with little data behind it, scans
// repeated thousands of times, arithmetic coding, padding. Shared by the decoder tests and the freeze
// benchmark.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace vantorel::test {

struct CraftedJpeg {
    enum class Coding { Baseline, Progressive, Arithmetic, ArithmeticProgressive };
    int width = 64;
    int height = 48;
    int components = 1; // 1 (grey) or 3 (colour, no subsampling)
    Coding coding = Coding::Baseline;
    // Progressive files: scans after the first DC scan, each over every block of the first component;
    // refining scans (successive approximation) cost the decoder more per block than first scans.
    int repeatedScans = 0;
    bool refining = false;
    // Entropy-coded bytes behind each scan header; the decoder fills what is missing with zeros.
    int scanDataBytes = 4;
    // Random bytes instead of zeros (arithmetic coding decodes every coefficient of them).
    bool randomData = false;
    bool endMarker = true;
};

QByteArray craftJpeg(const CraftedJpeg& spec);

// Hostile files as the decoders may meet them. Each is written by `write` into a folder; "padded" is a
// sparse file of 4 GiB.
struct HostileJpeg {
    const char* name;
    const char* what;
    bool shown; // whether a picture comes out (a file refused gives none)
};
const std::vector<HostileJpeg>& hostileJpegs();
// Writes the case `name` to `dir`; its path, or an empty string when it cannot be written.
QString writeHostileJpeg(const QString& dir, const QString& name);

} // namespace vantorel::test
