// SPDX-License-Identifier: GPL-3.0-or-later
// The copies written from a fuzzed source: each must carry the source's image data byte for byte,
// whether the position is set or erased, and a copy without position none of the source's
// latitude or longitude bytes, in either byte order, before its image data.
#include "files/jpegsegments.h"
#include "fuzzinput.h"
#include "geotag/geotagcopy.h"
#include "metadata/imageproperties.h"

#include <QFile>

#include <algorithm>

namespace {

// The bytes from the first scan on; empty when the segments cannot be walked to one.
QByteArray imageData(const QByteArray& jpeg) {
    if (!vantorel::isJpegStart(jpeg)) return {};
    vantorel::JpegSegmentWalker walker;
    vantorel::JpegSegment segment;
    while (walker.next(jpeg, segment) == vantorel::SegmentStep::Segment)
        if (segment.marker == vantorel::kMarkerSos) return jpeg.mid(segment.offset);
    return {};
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The source's latitude and longitude as stored: little- and big-endian. Short values (a single
// rational), zeros and values of another type than rational reveal no place (a damaged entry of
// unknown type may "hold" the block's own header, which every copy keeps).
QVector<QByteArray> positionBytes(const QString& source) {
    QVector<QByteArray> out;
    vantorel::ImageProperties photo;
    if (!photo.open(source)) return out;
    for (quint32 id : {vantorel::GpsLatitude, vantorel::GpsLongitude}) {
        const auto item = photo.item(id);
        if (!item || item->type != 5 || item->value.size() < 16 ||
            item->value.count('\0') == item->value.size())
            continue;
        QByteArray big = item->value;
        for (qsizetype i = 0; i + 4 <= big.size(); i += 4)
            std::reverse(big.begin() + i, big.begin() + i + 4);
        out << item->value << big;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString& source = vantorel::fuzz::writeInput(data, size);
    const QByteArray before(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString target = source + QStringLiteral(".copy.jpg");
    vantorel::GpsPosition position;
    position.latitudeRef = QStringLiteral("S");
    position.longitudeRef = QStringLiteral("W");
    position.latitude = vantorel::DegreesToRationals(48.8583);
    position.longitude = vantorel::DegreesToRationals(2.2945);
    const QVector<QByteArray> old = positionBytes(source);
    for (const int mode : {0, 1, 2}) { // written, erased, everything erased
        QFile::remove(target);
        const auto result =
            mode == 2 ? vantorel::writeCopyWithoutLocation(source, target)
                      : vantorel::writeGeotagCopy(source, target,
                                                  mode == 1 ? std::nullopt
                                                            : std::optional<vantorel::GpsPosition>(position));
        if (!result.ok) continue;
        const QByteArray copy = readAll(target);
        if (imageData(copy) != imageData(before)) __builtin_trap(); // image data changed
        if (readAll(source) != before) __builtin_trap();            // source touched
        // The image data is kept as it is, whatever bytes it holds: the old position is looked for
        // in the copy's segments before it.
        const QByteArray segments = copy.left(copy.size() - imageData(copy).size());
        if (mode > 0)
            for (const QByteArray& bytes : old)
                if (segments.contains(bytes)) __builtin_trap(); // the old position is still there
    }
    QFile::remove(target);
    return 0;
}
