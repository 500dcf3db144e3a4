// The POI table of the photos named on a command line, shared by the poi, gpx and overview commands.
#pragma once

#include "metadata/poitable.h"

#include <QStringList>
#include <QTextStream>

namespace vantorel::cli {

struct CommandPoiTable {
    StringGrid SG0{PoiColumnCount, 2};
    int rowCount = 0;
    bool anyUnreadable = false;
};

// Paths relative to the working folder are made absolute; each photo that cannot be read (missing,
// folder, pipe, no permission...) is named on `err` and the others are still read.
CommandPoiTable poiTableOfArguments(const QStringList& photos, QTextStream& err,
                                    const PoiRowReader& alsoRead = {});

} // namespace vantorel::cli
