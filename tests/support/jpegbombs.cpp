// SPDX-License-Identifier: GPL-3.0-or-later
#include "jpegbombs.h"

#include <QFile>
#include <QRandomGenerator>

#include <unistd.h>

namespace vantorel::test {
namespace {

void put16(QByteArray& b, int v) {
    b.append(char((v >> 8) & 0xFF));
    b.append(char(v & 0xFF));
}

void segment(QByteArray& b, int marker, const QByteArray& body) {
    b.append(char(0xFF));
    b.append(char(marker));
    put16(b, int(body.size()) + 2);
    b.append(body);
}

// A table with the codes 0 and 10 for `first` and `second`.
QByteArray huffmanTable(int tableClass, char first, char second) {
    QByteArray t;
    t.append(char(tableClass << 4));
    QByteArray counts(16, '\0');
    counts[0] = 1;
    counts[1] = 1;
    t.append(counts);
    t.append(first);
    t.append(second);
    return t;
}

QByteArray scanData(const CraftedJpeg& spec, QRandomGenerator& random) {
    QByteArray d(spec.scanDataBytes, '\0');
    if (spec.randomData)
        for (char& c : d)
            c = char(random.bounded(0xFF)); // never 0xFF: no marker inside the data
    return d;
}

} // namespace

QByteArray craftJpeg(const CraftedJpeg& spec) {
    using Coding = CraftedJpeg::Coding;
    const bool progressive =
        spec.coding == Coding::Progressive || spec.coding == Coding::ArithmeticProgressive;
    const bool arithmetic = spec.coding == Coding::Arithmetic || spec.coding == Coding::ArithmeticProgressive;
    QRandomGenerator random(7);

    QByteArray b("\xFF\xD8", 2);
    segment(b, 0xDB, QByteArray(1, '\0') + QByteArray(64, '\x01'));
    QByteArray frame;
    frame.append(char(8));
    put16(frame, spec.height);
    put16(frame, spec.width);
    frame.append(char(spec.components));
    for (int c = 1; c <= spec.components; ++c) {
        frame.append(char(c));
        frame.append(char(0x11));
        frame.append(char(0));
    }
    const int sof = arithmetic ? (progressive ? 0xCA : 0xC9) : (progressive ? 0xC2 : 0xC0);
    segment(b, sof, frame);
    if (!arithmetic) {
        segment(b, 0xC4, huffmanTable(0, 0x00, 0x01));
        segment(b, 0xC4, huffmanTable(1, 0x00, char(0xE0))); // end of block, run of 2^14 ends
    }

    const auto scan = [&](int firstComponent, int count, int ss, int se, int ah, int al) {
        QByteArray s;
        s.append(char(count));
        for (int c = firstComponent; c < firstComponent + count; ++c) {
            s.append(char(c));
            s.append(char(0x00));
        }
        s.append(char(ss));
        s.append(char(se));
        s.append(char((ah << 4) | al));
        segment(b, 0xDA, s);
        b.append(scanData(spec, random));
    };
    if (!progressive) {
        scan(1, spec.components, 0, 63, 0, 0);
    } else {
        scan(1, spec.components, 0, 0, 0, 1);
        scan(1, 1, 1, 63, 0, 1);
        for (int i = 0; i < spec.repeatedScans; ++i) {
            if (spec.refining)
                scan(1, 1, 1, 63, 1, 0);
            else
                scan(1, 1, 1, 63, 0, 1);
        }
    }
    if (spec.endMarker) b.append("\xFF\xD9", 2);
    return b;
}

const std::vector<HostileJpeg>& hostileJpegs() {
    static const std::vector<HostileJpeg> cases = {
        {"repeated-scans", "80 KB progressive grey 22600 x 22600, one scan repeated 5000 times", false},
        {"tiny-progressive", "200-byte progressive grey 22600 x 22600", false},
        {"arithmetic", "87 KB arithmetic-coded baseline grey 22600 x 22600", false},
        {"padded", "a small progressive picture followed by 4 GiB of zeros (sparse), no end marker", true},
        {"huge-baseline", "146-byte baseline grey 22600 x 22600", false},
        {"repeated-scans-in-memory", "progressive grey 9000 x 9000 (buffer within budget), 5000 scans",
         false},
        {"arithmetic-refining", "1 MB arithmetic progressive colour 2000 x 2000, 40 refining scans", false},
        {"arithmetic-random", "1 MB arithmetic progressive grey 2000 x 2000, 40 scans of random data", false},
        {"huffman-data", "1 MB progressive grey 9000 x 9000, 40 scans of coded data", false},
        {"many-scans", "progressive grey 16 x 16 with 60000 scans", false},
        {"header-garbage", "40 MB of zeros (sparse) between the frame header and the first scan", false},
    };
    return cases;
}

QString writeHostileJpeg(const QString& dir, const QString& name) {
    using Coding = CraftedJpeg::Coding;
    CraftedJpeg spec;
    qint64 paddedTo = 0;
    qint64 gapAt = -1, gap = 0; // a hole of zeros inside the file
    if (name == "repeated-scans") {
        spec = {22600, 22600, 1, Coding::Progressive, 5000};
    } else if (name == "tiny-progressive") {
        spec = {22600, 22600, 1, Coding::Progressive, 3};
    } else if (name == "arithmetic") {
        spec = {22600, 22600, 1, Coding::Arithmetic};
        spec.scanDataBytes = 87000;
    } else if (name == "padded") {
        spec = {64, 48, 1, Coding::Progressive, 2};
        spec.endMarker = false;
        paddedTo = 4LL << 30;
    } else if (name == "huge-baseline") {
        spec = {22600, 22600, 1, Coding::Baseline};
    } else if (name == "repeated-scans-in-memory") {
        spec = {9000, 9000, 1, Coding::Progressive, 5000};
    } else if (name == "arithmetic-refining") {
        spec = {2000, 2000, 3, Coding::ArithmeticProgressive, 40, true, 25000, true};
    } else if (name == "arithmetic-random") {
        spec = {2000, 2000, 1, Coding::ArithmeticProgressive, 40, false, 25000, true};
    } else if (name == "huffman-data") {
        spec = {9000, 9000, 1, Coding::Progressive, 40, false, 25000};
    } else if (name == "many-scans") {
        spec = {16, 16, 1, Coding::Progressive, 60000, false, 1};
    } else if (name == "header-garbage") {
        spec = {64, 48, 1, Coding::Baseline};
        gapAt = craftJpeg(spec).indexOf(QByteArray("\xFF\xDA", 2));
        gap = 40 << 20;
    } else {
        return {};
    }
    const QByteArray bytes = craftJpeg(spec);
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".jpg");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    if (gapAt >= 0) {
        // Seeking past the end leaves a hole that reads as zeros and takes no room.
        if (f.write(bytes.left(gapAt)) != gapAt || !f.seek(gapAt + gap)) return {};
        if (f.write(bytes.mid(gapAt)) != bytes.size() - gapAt) return {};
    } else if (f.write(bytes) != bytes.size()) {
        return {};
    }
    if (paddedTo > 0 && !f.resize(paddedTo)) return {};
    return path;
}

} // namespace vantorel::test
