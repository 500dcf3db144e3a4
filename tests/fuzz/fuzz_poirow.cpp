// SPDX-License-Identifier: GPL-3.0-or-later
// The POI row and the coordinate reading of a fuzzed picture.
#include "fuzzinput.h"
#include "metadata/gpscoordinates.h"
#include "metadata/poitable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString& path = vantorel::fuzz::writeInput(data, size);
    QString latitudeRef, longitudeRef;
    int rowCount = 0;
    vantorel::StringGrid SG0(vantorel::PoiColumnCount, 2);
    vantorel::AddPoiRow(path, {latitudeRef, longitudeRef, rowCount}, SG0);
    (void)vantorel::ReadGpsCoordinates(path, latitudeRef, longitudeRef);
    return 0;
}
