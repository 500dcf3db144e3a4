// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "clipoitable.h"
#include "maps/overviewpage.h"

#include <QDir>
#include <cstdio>

namespace vantorel::cli {

int runOverview(QStringList args, QTextStream& out, QTextStream& err) {
    MapSettings settings = loadMapSettings();
    if (takeOption(args, QStringLiteral("--google"))) settings.library = MapLibrary::Google;
    dropEndOfOptions(args);
    if (args.isEmpty()) {
        err << QStringLiteral("overview : aucune photo indiquée\n");
        return 2;
    }
    const CommandPoiTable table = poiTableOfArguments(args, err);
    const StringGrid& SG0 = table.SG0;
    if (SG0.rowCount() < 2) {
        err << kNoGeotaggedPhotoForMap << u'\n';
        return 1;
    }
    if (SG0.rowCount() >= kOverviewRowLimitCount) err << kOverviewRowLimit << u'\n';
    err.flush();
    out.flush();
    const QByteArray page = buildOverviewPage(SG0, overviewFrame(SG0), settings);
    std::fwrite(page.constData(), 1, size_t(page.size()), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace vantorel::cli
