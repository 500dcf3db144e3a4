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

    SharedState state;
    StringGrid SG0(kPoiColumns, 2);
    rebuildPoiTable(state, SG0, paths, [] {});
    for (int row = 1; row <= state.PoiRowCount; ++row) {
        const QStringList cells = SG0.row(row);
        for (int col = 0; col < cells.size(); ++col) {
            if (col) out << u'\t';
            out << escapeCell(cells[col]);
        }
        out << u'\n';
    }
    out.flush();
    return 0;
}

} // namespace vantorel::cli
