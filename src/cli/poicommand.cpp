#include "commands.h"

#include "metadata/poitable.h"
#include "metadata/unreadablephoto.h"

#include <QDir>

namespace vantorel::cli {

int runPoi(const Arguments& photos, QTextStream& out, QTextStream& err) {
    if (photos.isEmpty()) {
        err << QStringLiteral("poi : aucune photo indiquée\n");
        return 2;
    }
    const QDir here = QDir::current();
    const auto absolute = [&](const QString& arg) { return QDir::cleanPath(here.absoluteFilePath(arg)); };
    // Each row is written as soon as its photo is read: nothing is kept from one photo to the next,
    // the names are decoded a few thousand at a time, and the photos are read by the names given
    // (the working folder stays the same), each made absolute only for its row.
    // A name the kernel would not take as it is shown ("a/../b.jpg" with no folder a, an empty one
    // naming the working folder) is read by its absolute path, as it is shown.
    const auto nameAt = [&](qsizetype i) {
        QString arg = photos.at(i);
        if (arg.isEmpty() || QDir::cleanPath(arg) != arg) arg = absolute(arg);
        return arg;
    };
    bool anyUnreadable = false;
    streamPoiRows(
        photos.size(), nameAt, absolute,
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
