// SPDX-License-Identifier: GPL-3.0-or-later
// The POI rows of the photos named on a command line, shared by the poi, gpx and overview commands.
#pragma once

#include "arguments.h"
#include "metadata/poitable.h"

#include <QDir>
#include <QStringList>
#include <QTextStream>

namespace vantorel::cli {

// The path a name given on the command line stands for: absolute from `here` (the working
// folder), cleaned. Rows and messages name the photos so.
inline QString commandLinePath(const QDir& here, const QString& arg) {
    return QDir::cleanPath(here.absoluteFilePath(arg));
}

// streamPoiRows over the photos named on the command line: each row goes to `onRow` as soon as its
// photo is read, the names decoded a few thousand at a time. The photos are read by the names given
// (the working folder stays the same), each made absolute only for its row; a name the kernel would
// not take as it is shown ("a/../b.jpg" with no folder a, an empty one naming the working folder)
// is read by its absolute path, as it is shown.
template <typename OnRow, typename OnUnreadable>
int streamArgumentPoiRows(const Arguments& photos, OnRow onRow, OnUnreadable onUnreadable,
                          const PoiRowReader& alsoRead = {}) {
    const QDir here = QDir::current();
    const auto absolute = [&](const QString& arg) { return commandLinePath(here, arg); };
    const auto nameAt = [&](qsizetype i) {
        QString arg = photos.at(i);
        if (arg.isEmpty() || QDir::cleanPath(arg) != arg) arg = absolute(arg);
        return arg;
    };
    return streamPoiRows(photos.size(), nameAt, absolute, onRow, onUnreadable, alsoRead);
}

struct CommandPoiTable {
    StringGrid SG0{PoiColumnCount, 2};
    int rowCount = 0;
    bool anyUnreadable = false;
};

// The whole table at once, for a page that needs every point: each photo that cannot be read
// (missing, folder, pipe, no permission...) is named on `err` and the others are still read.
CommandPoiTable poiTableOfArguments(const QStringList& photos, QTextStream& err,
                                    const PoiRowReader& alsoRead = {});

} // namespace vantorel::cli
