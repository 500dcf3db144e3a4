// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF listing of a fuzzed picture and the passes the window makes over its rows.
#include "fuzzinput.h"
#include "metadata/exiflisting.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"
#include "text/escape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vantorel::ExifListing listing = vantorel::listExifItems(vantorel::fuzz::writeInput(data, size));
    vantorel::StringGrid SG2(vantorel::ExifColumnCount, int(listing.rows.size()) + 2);
    for (int i = 0; i < listing.rows.size(); ++i) {
        SG2.setCell(vantorel::ExifName, i + 1, listing.rows[i].name);
        SG2.setCell(vantorel::ExifType, i + 1, listing.rows[i].type);
        SG2.setCell(vantorel::ExifValue, i + 1, listing.rows[i].value);
        (void)vantorel::escapeCell(listing.rows[i].value);
    }
    (void)vantorel::viewDirectionFromRows(SG2);
    QString label3, label4;
    vantorel::referenceLabelsFromRows(SG2, label3, label4);
    return 0;
}
