// SPDX-License-Identifier: GPL-3.0-or-later
#include "positionscan.h"

#include "files/jpegsegments.h"
#include "metadata/rationals.h"
#include "metadata/tiffblock.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace vantorel {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();
constexpr qint64 kMaxTiffBlock = 1 << 20; // an Exif block fits in a segment; a thumbnail's too

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

double rationalDegrees(const TiffBlock& tiff, const TiffEntry& e) {
    if (e.type != TypeRational || e.count < 1 || !tiff.valueInside(e)) return kNotANumber;
    double degrees = 0, unit = 1;
    for (quint32 k = 0; k < std::min<quint32>(e.count, 3); ++k) {
        const quint32 num = tiff.u32(e.valueAt + 8 * k), den = tiff.u32(e.valueAt + 8 * k + 4);
        if (den == 0) return num == 0 ? degrees : kNotANumber;
        degrees += double(num) / den / unit;
        unit *= 60;
    }
    return degrees;
}

// The GPS directories of one TIFF block: hanging from its main directory, the thumbnail's
// directory that follows it, or the Exif directory.
void scanTiff(const QByteArray& bytes, QVector<FoundPosition>& out) {
    const auto tiff = TiffBlock::parse(bytes);
    if (!tiff) return;
    QVector<qint64> directories{tiff->firstDirectory()}, gps;
    for (int k = 0; k < directories.size() && k < 8; ++k) {
        const auto dir = tiff->directory(directories[k]);
        if (!dir) continue;
        for (const TiffEntry& e : dir->entries) {
            const auto at = tiff->pointer(e);
            if (!at) continue;
            if (e.tag == kGpsPointerTag && !gps.contains(*at)) gps.append(*at);
            if (e.tag == kExifPointerTag && k == 0 && !directories.contains(*at)) directories.append(*at);
        }
        if (k == 0 && dir->next && !directories.contains(dir->next)) directories.append(dir->next);
    }
    for (qint64 at : gps) {
        const auto dir = tiff->directory(at);
        if (!dir) continue;
        for (const TiffEntry& e : dir->entries) {
            if (e.tag != 2 && e.tag != 4 && e.tag != 0x14 && e.tag != 0x16) continue;
            if (!tiff->valueInside(e) || e.count == 0) continue; // nothing a reader can decode
            FoundPosition found;
            found.where = QStringLiteral("l'Exif (répertoire GPS)");
            found.latitude = e.tag == 2 || e.tag == 0x14;
            found.destination = e.tag >= 0x14;
            found.degrees = rationalDegrees(*tiff, e);
            out.append(found);
        }
    }
}

// Properties written as prefix:Name="value" or <prefix:Name ...>value< whose local name is a
// latitude or a longitude: GPSLatitude, GpsLatitude, Latitude, GPSDestLongitude...
void scanText(const QByteArray& file, QVector<FoundPosition>& out) {
    // Lowered a piece at a time (a large TIFF is tens of megabytes), each piece overlapping the
    // next by more than a word; a hit is taken in the piece where it starts.
    constexpr qint64 kPiece = 4 << 20, kOverlap = 16;
    const char* const words[] = {"latitude", "longitude", "longtitude"};
    QVector<qint64> hits[3];
    QByteArray lower;
    for (qint64 from = 0; from < file.size(); from += kPiece) {
        const qint64 n = std::min(kPiece + kOverlap, file.size() - from);
        lower.resize(n);
        const char* in = file.constData() + from;
        char* low = lower.data();
        for (qint64 i = 0; i < n; ++i)
            low[i] = in[i] >= 'A' && in[i] <= 'Z' ? char(in[i] + ('a' - 'A')) : in[i];
        for (int w = 0; w < 3; ++w)
            for (const char* at = low; at < low + n;) {
                const auto* found = static_cast<const char*>(
                    ::memmem(at, size_t(low + n - at), words[w], std::strlen(words[w])));
                if (!found || found - low >= kPiece) break;
                hits[w].append(from + (found - low));
                at = found + 1;
            }
    }
    for (int w = 0; w < 3; ++w)
        for (const qint64 hit : hits[w]) {
            const char* word = words[w];
            const qint64 length = qint64(std::strlen(word));
            {
                qint64 start = hit;
                while (start > 0 && isNameChar(file[start - 1]) && file[start - 1] != '.')
                    --start;
                const QByteArray local = file.mid(start, hit + length - start).toLower();
                const bool destination = local.contains("dest");
                QByteArray bare = local;
                if (bare.startsWith("gps")) bare.remove(0, 3);
                if (bare.startsWith("dest")) bare.remove(0, 4);
                if (bare != word) continue;
                if (start < 2 || file[start - 1] != ':') continue;
                qint64 prefix = start - 1;
                while (prefix > 0 && isNameChar(file[prefix - 1]))
                    --prefix;
                if (prefix == start - 1 || file.mid(prefix, start - 1 - prefix) == "xmlns") continue;
                if (prefix > 0 && file[prefix - 1] == '/') continue; // a closing tag
                const bool element = prefix > 0 && file[prefix - 1] == '<';
                qint64 at = hit + length;
                QByteArray value;
                if (element) {
                    const qint64 close = file.indexOf('>', at);
                    if (close < 0 || close - at > 400 || file[close - 1] == '/') continue;
                    const qint64 end = file.indexOf('<', close);
                    if (end < 0 || end - close > 400) continue;
                    value = file.mid(close + 1, end - close - 1).trimmed();
                } else if (at < file.size() && file[at] == '\0') {
                    // A PNG text chunk's keyword, its text after the NUL ("exif:GPSLatitude\0 48/1, ...").
                    qint64 end = at + 1;
                    while (end < file.size() && end - at <= 400 && uchar(file[end]) >= 0x20)
                        ++end;
                    value = file.mid(at + 1, end - at - 1).trimmed();
                    if (value.isEmpty()) value = "?"; // a position whose text cannot be read
                } else {
                    while (at < file.size() &&
                           (file[at] == ' ' || file[at] == '\t' || file[at] == '\n' || file[at] == '\r'))
                        ++at;
                    if (at >= file.size() || file[at] != '=') continue;
                    ++at;
                    while (at < file.size() &&
                           (file[at] == ' ' || file[at] == '\t' || file[at] == '\n' || file[at] == '\r'))
                        ++at;
                    if (at >= file.size() || (file[at] != '"' && file[at] != '\'')) continue;
                    const qint64 end = file.indexOf(file[at], at + 1);
                    if (end < 0 || end - at > 400) continue;
                    value = file.mid(at + 1, end - at - 1).trimmed();
                }
                if (value.isEmpty()) continue;
                FoundPosition found;
                found.where = QStringLiteral("le XMP (%1)")
                                  .arg(QString::fromLatin1(file.mid(prefix, hit + length - prefix)));
                found.latitude = qstrcmp(word, "latitude") == 0;
                found.destination = destination;
                found.degrees = xmpDegrees(value);
                out.append(found);
            }
        }
}

void scanFlir(const QByteArray& file, QVector<FoundPosition>& out) {
    // The head of the first picture (the FLIR segments come before the scan).
    const qint64 sos = [&] {
        JpegSegmentWalker walker;
        JpegSegment s;
        while (walker.next(file, s) == SegmentStep::Segment)
            if (s.marker == kMarkerSos) return s.end();
        return qint64(0);
    }();
    if (sos == 0) return;
    const FlirStream stream = flirStream(file.left(sos));
    for (const FlirGpsRecord& r : flirGpsRecords(stream.data)) {
        if (r.size < 0x20) continue;
        const auto readDouble = [&](qint64 at) {
            double v = 0;
            std::memcpy(&v, stream.data.constData() + at, 8); // little-endian, as the record is
            return std::abs(v);
        };
        for (bool latitude : {true, false}) {
            FoundPosition found;
            found.where = QStringLiteral("le bloc FLIR (GPS)");
            found.latitude = latitude;
            found.degrees = readDouble(r.body + (latitude ? 0x10 : 0x18));
            out.append(found);
        }
    }
}

quint32 u32At(const QByteArray& b, qint64 at, bool big) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(uchar(b[at + i])) << (big ? 8 * (3 - i) : 8 * i);
    return v;
}

} // namespace

double itemDegrees(const QVector<PropertyItem>& items, quint16 id) {
    for (const PropertyItem& item : items) {
        if (item.id != id || item.type != TypeRational || item.value.size() != 24) continue;
        double degrees = 0, unit = 1;
        for (int k = 0; k < 3; ++k) {
            const Rational r = rationalAt(item, k);
            if (r.denominator) degrees += double(r.numerator) / double(r.denominator) / unit;
            unit *= 60;
        }
        return degrees;
    }
    return kNotANumber;
}

double xmpDegrees(const QByteArray& text) {
    QByteArray t = text.trimmed();
    double sign = 1;
    if (!t.isEmpty() && QByteArray("NSEWnsew").contains(t.back())) {
        if (QByteArray("SWsw").contains(t.back())) sign = -1;
        t.chop(1);
    }
    const QList<QByteArray> parts = t.split(',');
    if (parts.isEmpty() || parts.size() > 3) return kNotANumber;
    double degrees = 0, unit = 1;
    for (const QByteArray& part : parts) {
        bool ok = false;
        const double v = part.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v)) return kNotANumber;
        degrees += std::abs(v) / unit;
        unit *= 60;
    }
    return std::abs(sign * degrees);
}

qint64 FlirStream::fileOffset(qint64 at) const {
    for (const auto& [offset, size] : pieces) {
        if (at < size) return offset + at;
        at -= size;
    }
    return -1;
}

FlirStream flirStream(const QByteArray& head) {
    FlirStream out;
    JpegSegmentWalker walker;
    JpegSegment s;
    while (walker.next(head, s) == SegmentStep::Segment && s.marker != kMarkerSos) {
        if (s.marker != kMarkerApp1 || s.payloadSize() < 8 ||
            head.mid(s.payloadOffset(), 5) != QByteArray("FLIR\0", 5))
            continue;
        out.pieces.append({s.payloadOffset() + 8, s.payloadSize() - 8});
        out.data += head.mid(s.payloadOffset() + 8, s.payloadSize() - 8);
    }
    return out;
}

QVector<FlirGpsRecord> flirGpsRecords(const QByteArray& fff) {
    QVector<FlirGpsRecord> out;
    if (fff.size() < 0x40 || !fff.startsWith(QByteArray("FFF\0", 4))) return out;
    // The byte order is the one that reads the format's version as 100 to 199.
    bool big = true;
    if (const quint32 v = u32At(fff, 0x14, true); v < 100 || v >= 200) big = false;
    if (const quint32 v = u32At(fff, 0x14, big); v < 100 || v >= 200) return out;
    const qint64 dir = u32At(fff, 0x18, big), count = u32At(fff, 0x1C, big);
    for (qint64 k = 0; k < count && k < 4096; ++k) {
        const qint64 entry = dir + 32 * k;
        if (entry < 0 || entry + 32 > fff.size()) break;
        const quint16 type = big ? quint16((uchar(fff[entry]) << 8) | uchar(fff[entry + 1]))
                                 : quint16(uchar(fff[entry]) | (uchar(fff[entry + 1]) << 8));
        if (type != 0x2B) continue;
        const qint64 body = u32At(fff, entry + 0x0C, big), size = u32At(fff, entry + 0x10, big);
        if (body + size > fff.size()) {
            out.append({entry, body, 0}); // a record a reader cannot read whole
            continue;
        }
        out.append({entry, body, size});
    }
    return out;
}

QVector<FoundPosition> findPositions(const QByteArray& file) {
    QVector<FoundPosition> out;
    // A TIFF file (or a RAW file built on one) is one block, whose directories may lie anywhere in it.
    const bool tiffFile = TiffBlock::parse(file.left(8)).has_value();
    if (tiffFile) scanTiff(file, out);
    for (const char* header : {"II\x2A\x00", "MM\x00\x2A"}) {
        const QByteArray mark(header, 4);
        for (qint64 at = file.indexOf(mark, tiffFile ? 1 : 0); at >= 0; at = file.indexOf(mark, at + 1))
            scanTiff(file.mid(at, kMaxTiffBlock), out);
    }
    scanText(file, out);
    scanFlir(file, out);
    return out;
}

} // namespace vantorel
