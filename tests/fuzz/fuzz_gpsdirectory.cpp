// SPDX-License-Identifier: GPL-3.0-or-later
// The quick GPS directory reader on fuzzed heads, and the position texts made of what it finds.
#include "fuzzinput.h"
#include "metadata/gpscoordinates.h"
#include "metadata/gpsdirectory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray head(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto items = vantorel::readGpsDirectory(head);
    if (!items) return 0;
    for (const vantorel::PropertyItem& item : *items) {
        const vantorel::GpsComponents c = vantorel::DecodeGpsRationals(item);
        if (!c.usable) continue;
        (void)vantorel::formatCoordinateText(QStringLiteral("N"), c);
        (void)vantorel::formatDecimalDegrees(c);
    }
    return 0;
}
