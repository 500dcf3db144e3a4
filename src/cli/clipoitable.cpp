// SPDX-License-Identifier: GPL-3.0-or-later
#include "clipoitable.h"

#include "metadata/unreadablephoto.h"

namespace vantorel::cli {

CommandPoiTable poiTableOfArguments(const QStringList& photos, QTextStream& err,
                                    const PoiRowReader& alsoRead) {
    const QDir here = QDir::current();
    QStringList paths;
    paths.reserve(photos.size());
    for (const QString& arg : photos)
        paths << commandLinePath(here, arg);
    CommandPoiTable table;
    QString latitudeRef, longitudeRef;
    const QVector<UnreadablePhoto> unreadable = rebuildPoiTable(
        {latitudeRef, longitudeRef, table.rowCount}, table.SG0, paths, [](const QString&) {}, [] {},
        alsoRead);
    for (const UnreadablePhoto& photo : unreadable)
        err << unreadablePhotoMessage(photo.path, photo.error) << u'\n';
    err.flush();
    table.anyUnreadable = !unreadable.isEmpty();
    return table;
}

} // namespace vantorel::cli
