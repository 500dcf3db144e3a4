// SPDX-License-Identifier: GPL-3.0-or-later
// The property layer: every item of a fuzzed picture, by the full reader and the GPS-only reader.
#include "fuzzinput.h"
#include "metadata/imageproperties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString& path = vantorel::fuzz::writeInput(data, size);
    vantorel::ImageProperties all;
    if (all.open(path)) {
        for (const vantorel::PropertyItem& item : all.allItems())
            (void)item.text();
        (void)all.item(vantorel::GpsLatitude);
        (void)all.item(0x0110);
    }
    vantorel::ImageProperties gps;
    if (gps.open(path, vantorel::ImageProperties::Scope::Gps)) {
        (void)gps.item(vantorel::GpsLongitude);
        (void)gps.item(0x0110); // a non-GPS item loads the full reader after all
    }
    return 0;
}
