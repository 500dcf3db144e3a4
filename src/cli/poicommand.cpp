#include "commands.h"

#include "metadata/poitable.h"
#include "metadata/unreadablephoto.h"

#include <QDir>

namespace vantorel::cli {

int runPoi(const QStringList& photos, QTextStream& out, QTextStream& err) {
    if (photos.isEmpty()) {
        err << QStringLiteral("poi : aucune photo indiquée\n");
        return 2;
    }
    const QDir here = QDir::current();
    QStringList paths;
    paths.reserve(photos.size());
    for (const QString& arg : photos)
        paths << QDir::cleanPath(here.absoluteFilePath(arg));
    // Each row is written as soon as its photo is read: nothing is kept from one photo to the next.
    bool anyUnreadable = false;
    streamPoiRows(
        paths,
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
