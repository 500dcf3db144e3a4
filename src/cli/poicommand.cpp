#include "commands.h"

#include "metadata/poitable.h"

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

    QString latitudeRef, longitudeRef;
    int rowCount = 0;
    StringGrid SG0(PoiColumnCount, 2);
    const QVector<UnreadablePhoto> unreadable = rebuildPoiTable(
        {latitudeRef, longitudeRef, rowCount}, SG0, paths, [](const QString&) {}, [] {});
    for (const UnreadablePhoto& photo : unreadable)
        err << unreadablePhotoMessage(photo.path, photo.error) << u'\n';
    err.flush();
    for (int row = 1; row <= rowCount; ++row) {
        const QStringList cells = SG0.row(row);
        for (int col = 0; col < cells.size(); ++col) {
            if (col) out << u'\t';
            out << escapeCell(cells[col]);
        }
        out << u'\n';
    }
    out.flush();
    return unreadable.isEmpty() ? 0 : kExitUnreadable;
}

} // namespace vantorel::cli
