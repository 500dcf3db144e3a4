// The geotagged copy's Exif splice on a fuzzed source: a copy written from it must carry the
// source's image data byte for byte, whether the position is set or erased.
#include "files/jpegsegments.h"
#include "fuzzinput.h"
#include "geotag/geotagcopy.h"

#include <QFile>

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
    for (const bool erase : {false, true}) {
        QFile::remove(target);
        const auto result = vantorel::writeGeotagCopy(
            source, target, erase ? std::nullopt : std::optional<vantorel::GpsPosition>(position));
        if (!result.ok) continue;
        if (imageData(readAll(target)) != imageData(before)) __builtin_trap(); // image data changed
        if (readAll(source) != before) __builtin_trap();                       // source touched
    }
    QFile::remove(target);
    return 0;
}
