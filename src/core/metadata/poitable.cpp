// SPDX-License-Identifier: GPL-3.0-or-later
#include "poitable.h"

#include "files/jpegsegments.h"
#include "gpscoordinates.h"
#include "imageproperties.h"
#include "rationals.h"
#include "text/numberformat.h"

namespace vantorel {
namespace {

// The altitude: the first rational of the item as a 32-bit float, when it can be computed.
std::optional<float> altitudeOf(const PropertyItem& item) {
    if ((item.type != TypeRational && item.type != TypeSRational) || item.length() < 8) return std::nullopt;
    return altitudeValue(item, 0);
}

} // namespace

const QString& poiHeaderCommaText() {
    static const QString header = QStringLiteral(
        "\"Photo géocodée\",Latitude,Longitude,Lati,Longi,File_name,Alti_signe,Alti_valeur,Width,Height");
    return header;
}

FileOpenError AddPoiRow(const QString& path, PoiRun run, StringGrid& SG0, const PoiRowReader& alsoRead) {
    return AddPoiRow(*OpenedPhoto::open(path, OpenedPhoto::Reading::GpsItems), run, SG0, alsoRead);
}

FileOpenError AddPoiRow(const OpenedPhoto& opened, PoiRun run, StringGrid& SG0,
                        const PoiRowReader& alsoRead) {
    return AddPoiRow(opened, opened.path(), run, SG0, alsoRead);
}

FileOpenError AddPoiRow(const OpenedPhoto& opened, const QString& path, PoiRun run, StringGrid& SG0,
                        const PoiRowReader& alsoRead) {
    static const QStringList header = splitCommaText(poiHeaderCommaText());
    if (SG0.rowCount() < 1) SG0.setRowCount(1);
    for (int col = 0; col < PoiColumnCount; ++col)
        SG0.setCell(col, 0, header.value(col));
    SG0.fontColor = Qt::black;

    ImageProperties photo;
    if (!photo.open(opened, ImageProperties::Scope::Gps)) return photo.openError();

    readReference(photo, GpsLatitudeRef, run.latitudeRef);
    GpsComponents lat;
    if (!readCoordinate(photo, GpsLatitude, lat)) {
        // No row for this photo: its other GPS items must not land in another photo's row.
        readReference(photo, GpsLongitudeRef, run.longitudeRef);
        return FileOpenError::None;
    }

    const int row = ++run.rowCount;
    SG0.setRowCount(row + 1);
    SG0.setCell(PoiName, row, fileNameOf(path));
    SG0.setCell(PoiLatitudeText, row, formatCoordinateText(run.latitudeRef, lat));
    SG0.setCell(PoiSignedLatitude, row,
                (run.latitudeRef == QStringLiteral("S") ? QStringLiteral("-") : QString()) +
                    formatDecimalDegrees(lat));
    SG0.setCell(PoiPath, row, path);
    // The frame header is in the bytes the metadata came from.
    const auto size = jpegFrameSize(photo.jpegHead());
    if (size) {
        SG0.setCell(PoiWidth, row, QString::number(size->width()));
        SG0.setCell(PoiHeight, row, QString::number(size->height()));
    }

    readReference(photo, GpsLongitudeRef, run.longitudeRef);
    GpsComponents lon;
    if (readCoordinate(photo, GpsLongitude, lon)) {
        SG0.setCell(PoiLongitudeText, row, formatCoordinateText(run.longitudeRef, lon));
        SG0.setCell(PoiSignedLongitude, row,
                    (run.longitudeRef == QStringLiteral("W") ? QStringLiteral("-") : QString()) +
                        formatDecimalDegrees(lon));
    }

    if (const auto ref = photo.item(GpsAltitudeRef); ref && ref->type == TypeByte) {
        // The first character of the byte's octal form: "0" above sea level, "1" below.
        SG0.setCell(PoiAltitudeRef, row,
                    ref->value.isEmpty() ? QString() : QString::number(quint8(ref->value[0]), 8).left(1));
    }
    if (const auto item = photo.item(GpsAltitude)) {
        if (const auto altitude = altitudeOf(*item))
            SG0.setCell(PoiAltitude, row, FloatToStrF(*altitude, 8, 2));
    }
    if (alsoRead) alsoRead(row, photo);
    return FileOpenError::None;
}

} // namespace vantorel
