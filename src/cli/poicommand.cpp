// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "clipoitable.h"
#include "metadata/unreadablephoto.h"

namespace vantorel::cli {

int runPoi(const Arguments& words, QTextStream& out, QTextStream& err) {
    const Arguments photos = words.afterEndOfOptions();
    if (photos.isEmpty()) {
        err << QStringLiteral("poi : aucune photo indiquée\n");
        return 2;
    }
    bool anyUnreadable = false;
    // Each row is written as soon as its photo is read: nothing is kept from one photo to the next.
    streamArgumentPoiRows(
        photos,
        [&](const StringGrid& SG0, int) {
            for (int col = 0; col < PoiColumnCount; ++col) {
                if (col) out << u'\t';
                out << escapeCell(SG0.cell(col, 1));
            }
            out << u'\n';
        },
        [&](const UnreadablePhoto& photo) {
            anyUnreadable = true;
            err << unreadablePhotoMessage(photo.path, photo.error) << u'\n';
        });
    out.flush();
    err.flush();
    return anyUnreadable ? kExitUnreadable : 0;
}

} // namespace vantorel::cli
