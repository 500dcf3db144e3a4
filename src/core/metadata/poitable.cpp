#include "poitable.h"

#include "display/jpegdecoder.h"
#include "gpscoordinates.h"
#include "imageproperties.h"
#include "text/numberformat.h"

namespace vantorel {
namespace {

// The altitude: the first rational of the item as a 32-bit float, when it can be computed.
std::optional<float> altitudeOf(const PropertyItem& item) {
    if ((item.type != TypeRational && item.type != TypeSRational) || item.length() < 8) return std::nullopt;
    const quint32 num = item.u32(0);
    const quint32 den = item.u32(1);
    const bool isSigned = item.type == TypeSRational;
    const long double n = isSigned ? (long double)qint32(num) : (long double)num;
    const long double d = isSigned ? (long double)qint32(den) : (long double)den;
    if (d == 1) return float(n);
    if (d > 0) return float(n / d);
    return std::nullopt;
}

} // namespace

const QString& poiHeaderCommaText() {
    static const QString header = QStringLiteral(
        "\"Photo géocodée\",Latitude,Longitude,Lati,Longi,File_name,Alti_signe,Alti_valeur,Width,Height");
    return header;
}

void AddPoiRow(SharedState& state, StringGrid& SG0) {
    static const QStringList header = splitCommaText(poiHeaderCommaText());
    if (SG0.rowCount() < 1) SG0.setRowCount(1);
    for (int col = 0; col < kPoiColumns; ++col)
        SG0.setCell(col, 0, header.value(col));
    SG0.fontColor = Qt::black;

    ImageProperties photo;
    if (!photo.open(state.CurrentPhotoPath, ImageProperties::Scope::Gps)) return;

    readReference(photo, GpsLatitudeRef, state.LatitudeRef);
    GpsComponents lat;
    if (!readCoordinate(photo, GpsLatitude, lat)) {
        // No row for this photo: its other GPS items must not land in another photo's row.
        readReference(photo, GpsLongitudeRef, state.LongitudeRef);
        return;
    }

    const int row = ++state.PoiRowCount;
    SG0.setRowCount(row + 1);
    const QString path = state.CurrentPhotoPath;
    SG0.setCell(0, row, fileNameOf(path));
    SG0.setCell(1, row, formatCoordinateText(state.LatitudeRef, lat));
    SG0.setCell(3, row,
                (state.LatitudeRef == QStringLiteral("S") ? QStringLiteral("-") : QString()) +
                    formatDecimalDegrees(lat));
    SG0.setCell(5, row, path);
    // The frame header is in the bytes the metadata came from; a file read otherwise is asked again.
    const auto size = photo.jpegHead().isEmpty() ? jpegSize(path) : jpegSizeOfHeader(photo.jpegHead());
    if (size) {
        SG0.setCell(8, row, QString::number(size->width()));
        SG0.setCell(9, row, QString::number(size->height()));
    }

    readReference(photo, GpsLongitudeRef, state.LongitudeRef);
    GpsComponents lon;
    if (readCoordinate(photo, GpsLongitude, lon)) {
        SG0.setCell(2, row, formatCoordinateText(state.LongitudeRef, lon));
        SG0.setCell(4, row,
                    (state.LongitudeRef == QStringLiteral("W") ? QStringLiteral("-") : QString()) +
                        formatDecimalDegrees(lon));
    }

    if (const auto ref = photo.item(GpsAltitudeRef); ref && ref->type == TypeByte) {
        // The first character of the byte's octal form: "0" above sea level, "1" below.
        SG0.setCell(6, row,
                    ref->value.isEmpty() ? QString() : QString::number(quint8(ref->value[0]), 8).left(1));
    }
    if (const auto item = photo.item(GpsAltitude)) {
        if (const auto altitude = altitudeOf(*item)) SG0.setCell(7, row, FloatToStrF(*altitude, 8, 2));
    }
}

} // namespace vantorel
