// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "clipoitable.h"
#include "maps/photomappage.h"
#include "maps/viewsector.h"
#include "metadata/exiflisting.h"
#include "metadata/gpscoordinates.h"
#include "metadata/unreadablephoto.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"

#include <QDir>
#include <cstdio>

namespace vantorel::cli {

int runMap(QStringList args, QTextStream& out, QTextStream& err) {
    MapSettings settings = loadMapSettings();
    if (takeOption(args, QStringLiteral("--google"))) settings.library = MapLibrary::Google;
    dropEndOfOptions(args);
    if (args.size() != 1) {
        err << QStringLiteral("map : indiquer une seule photo\n");
        return 2;
    }
    const QString path = commandLinePath(QDir::current(), args[0]);

    // The coordinate grid and the EXIF values exactly as the window's selection fills them.
    QString latitudeRef, longitudeRef;
    const CoordinateReading reading = ReadGpsCoordinates(path, latitudeRef, longitudeRef);
    if (reading.readError != FileOpenError::None) {
        err << unreadablePhotoMessage(path, reading.readError) << u'\n';
        return kExitUnreadable;
    }
    if (!reading.geotagged) {
        err << QStringLiteral("map : photo non géocodée : ") << escapeCell(path) << u'\n';
        return 1;
    }
    StringGrid SG1(CoordColumnCount, 2);
    SG1.setRowCommaText(0, QStringLiteral("\"Photo géocodée\",Latitude,Longitude,Lati,Longi,File_name"));
    for (int col = 0; col < CoordColumnCount; ++col)
        SG1.setCell(col, 1, reading.cells[col]);
    const ExifListing listing = listExifItems(path);
    StringGrid SG2(ExifColumnCount, std::max<int>(2, int(listing.rows.size()) + 1));
    for (int i = 0; i < listing.rows.size(); ++i) {
        SG2.setCell(ExifName, i + 1, listing.rows[i].name);
        SG2.setCell(ExifType, i + 1, listing.rows[i].type);
        SG2.setCell(ExifValue, i + 1, listing.rows[i].value);
    }
    ViewSectorInputs inputs;
    inputs.ViewDirection = viewDirectionFromRows(SG2);
    inputs.DirectionIsMagnetic = listing.directionIsMagnetic;
    inputs.Landscape = listing.landscape;
    inputs.FocalLength = listing.focalLength;
    inputs.CameraModel = listing.cameraModel;
    inputs.manualDeclinationText = QStringLiteral("-1,0");
    inputs.compassCorrectionText = QStringLiteral("0");
    inputs.manualSensorSizeText = QStringLiteral("1/2.4\"");

    std::optional<PhotoMapPage> page = photoMapPageFromGrid(SG1);
    if (!page) return 1;
    const ViewSector sector = ComputeViewSector(page->latitudeText, page->longitudeText, inputs);
    if (inputs.hasViewDirection()) {
        page->sector = PhotoMapPage::Corners{sector.edge1LatitudeText, sector.edge1LongitudeText,
                                             sector.edge2LatitudeText, sector.edge2LongitudeText};
        err << escapeCell(sectorCaption(sector, inputs.DirectionIsMagnetic)) << u'\n';
    }
    out.flush();
    const QByteArray bytes = BuildPhotoMapPage(*page, settings);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace vantorel::cli
