#include "commands.h"

#include "clipoitable.h"

namespace vantorel::cli {

int runPoi(const QStringList& photos, QTextStream& out, QTextStream& err) {
    if (photos.isEmpty()) {
        err << QStringLiteral("poi : aucune photo indiquée\n");
        return 2;
    }
    const CommandPoiTable table = poiTableOfArguments(photos, err);
    const StringGrid& SG0 = table.SG0;
    for (int row = 1; row <= table.rowCount; ++row) {
        const QStringList cells = SG0.row(row);
        for (int col = 0; col < cells.size(); ++col) {
            if (col) out << u'\t';
            out << escapeCell(cells[col]);
        }
        out << u'\n';
    }
    out.flush();
    return table.anyUnreadable ? kExitUnreadable : 0;
}

} // namespace vantorel::cli
