// SPDX-License-Identifier: GPL-3.0-or-later
#include "exiflisting.h"

#include "imageproperties.h"
#include "rationals.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"
#include "tagcatalogue.h"
#include "text/numberformat.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace vantorel {
namespace {

// Items the listing gives a meaning to; each of their names belongs to exactly one id.
enum : quint32 {
    IdGpsImgDirRef = 0x0010,
    IdEquipModel = 0x0110,
    IdOrientation = 0x0112,
    IdExposureTime = 0x829A,
    IdFocalLength = 0x920A,
};

const QString kGpsImgDir = QStringLiteral("GpsImgDir");
const QString kGpsLatitudeRef = QStringLiteral("GpsLatitudeRef");
const QString kGpsLatitude = QStringLiteral("GpsLatitude");
const QString kGpsLongitudeRef = QStringLiteral("GpsLongitudeRef");
const QString kGpsLongitude = QStringLiteral("GpsLongitude");

// A byte of code 0 in an Undefined value is shown as U+2400 (the symbol for NUL): it keeps one
// visible character per byte, so the positions of the other bytes stay readable, and the cell
// never carries a NUL that would cut it short wherever it is handed on as a C string.
constexpr char16_t kNulSymbol = u'\u2400';

const uchar* bytes(const PropertyItem& item) {
    return reinterpret_cast<const uchar*>(item.value.constData());
}

// Every rational of the item as a 32-bit float, or nothing when a denominator is zero: such a
// division fails and the item's value cell stays empty.
std::optional<QVector<float>> rationalValues(const PropertyItem& item, int count) {
    QVector<float> values;
    for (int k = 0; k < count; ++k) {
        const auto value = listingValue(item, k);
        if (!value) return std::nullopt;
        values.append(*value);
    }
    return values;
}

QString fixed2(float x) {
    return FloatToStrF(x, 8, 2);
}

QString formatRationals(const PropertyItem& item, ExifListing* shared) {
    const int pairs = int(item.length() / 8);
    if (pairs < 1 || pairs > 3) return {};
    const auto r = rationalValues(item, pairs);
    if (!r) return {};
    const QString sep = QStringLiteral("  ");
    const bool unsignedType = item.type == TypeRational;
    switch (pairs) {
    case 1: {
        const QString generic = fixed2((*r)[0]) + sep;
        if (unsignedType && item.id == IdFocalLength && shared) shared->focalLength = (*r)[0];
        if (unsignedType && item.id == IdExposureTime) {
            // Only the reciprocal can fail here: an exposure of 0 keeps its plain text.
            if ((*r)[0] == 0.0f) return generic;
            const float reciprocal = float(1.0 / double((*r)[0]));
            return FloatToStrF((*r)[0], 8, 4) + sep + QStringLiteral(" (1/") + FloatToStrF(reciprocal, 8, 0) +
                   QLatin1Char(')');
        }
        return generic;
    }
    case 2:
        return fixed2((*r)[0]) + sep + sep + fixed2((*r)[1]) + sep;
    default:
        if (unsignedType && (item.id == GpsLatitude || item.id == GpsLongitude))
            return QString::number(qint64(std::trunc((*r)[0]))) + QStringLiteral("°") + sep + sep +
                   fixed2((*r)[1]) + QStringLiteral("'") + sep + sep + fixed2((*r)[2]) +
                   QStringLiteral("''") + sep;
        return fixed2((*r)[0]) + sep + sep + fixed2((*r)[1]) + sep + sep + fixed2((*r)[2]) + sep;
    }
}

QString orientationSuffix(int n) {
    switch (n) {
    case 1:
        return QStringLiteral("  (Horizontal)");
    case 2:
        return QStringLiteral("  (Mirror horizontal)");
    case 3:
        return QStringLiteral("  (Rotate 180)");
    case 4:
        return QStringLiteral("  (Mirror vertical)");
    case 5:
        return QStringLiteral("  (Mirror horizontal and rotate 270 CW)");
    case 6:
        return QStringLiteral("  (Rotate 90 CW)");
    case 7:
        return QStringLiteral("  (Mirror horizontal and rotate 90 CW)");
    case 8:
        return QStringLiteral("  (Rotate 270 CW)");
    default:
        return {};
    }
}

} // namespace

QString formatPropertyValue(const PropertyItem& item, ExifListing* shared) {
    const int length = int(item.length());
    const uchar* b = bytes(item);
    QString out;
    switch (item.type) {
    case TypeByte:
        for (int i = 0; i < length; ++i)
            out += QLatin1Char(' ') + QString::number(b[i], 8);
        break;
    case TypeAscii: {
        // Shown whole, however long: the cell is a display and cuts nothing.
        out = item.text();
        if (shared && item.id == IdGpsImgDirRef) {
            shared->directionIsMagnetic = out.startsWith(QLatin1Char('M'));
            shared->directionRefSeen = true;
        }
        if (shared && item.id == IdEquipModel) shared->cameraModel = out;
        break;
    }
    case TypeShort:
        for (int i = 0; i < length / 2; ++i)
            out += QLatin1Char(' ') + QString::number(item.u16(i));
        if (item.id == IdOrientation) {
            // A single element gives its number; two or more give none (0), hence no suffix.
            const int n = StrToIntDef(out, 0);
            out += orientationSuffix(n);
            if (shared) shared->landscape = n < 4 || n > 8;
        }
        break;
    case TypeLong:
        for (int i = 0; i < length / 4; ++i)
            out += QLatin1Char(' ') + QString::number(item.u32(i));
        break;
    case TypeRational:
    case TypeSRational:
        out = formatRationals(item, shared);
        break;
    case TypeSByte:
        // Each byte widened to 32 bits with its sign, then in octal: -1 reads 37777777777.
        for (int i = 0; i < length; ++i)
            out += QLatin1Char(' ') + QString::number(quint32(qint32(qint8(b[i]))), 8);
        break;
    case TypeUndefined:
        if (!isCatalogued(item.id))
            return QStringLiteral("[Tag = 0x") + IntToHex(item.id, 4) + QLatin1Char(']');
        out.reserve(2 * length);
        for (int i = 0; i < length; ++i) {
            out += QLatin1Char(' ');
            out += b[i] == 0 ? QChar(kNulSymbol) : QChar(QLatin1Char(char(b[i])));
        }
        break;
    case TypeSShort:
        for (int i = 0; i < length / 2; ++i)
            out += QLatin1Char(' ') + QString::number(qint16(item.u16(i)));
        break;
    case TypeSLong:
        for (int i = 0; i < length / 4; ++i)
            out += QLatin1Char(' ') + QString::number(qint32(item.u32(i)));
        break;
    case TypeFloat:
        for (int i = 0; i < length / 4; ++i) {
            const quint32 bits = item.u32(i);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            out += QLatin1Char(' ') + FloatToStr(double(f));
        }
        break;
    case TypeDouble:
        for (int i = 0; i < length / 8; ++i) {
            const quint64 bits = quint64(item.u32(2 * i)) | (quint64(item.u32(2 * i + 1)) << 32);
            double d;
            std::memcpy(&d, &bits, sizeof d);
            out += QLatin1Char(' ') + FloatToStr(d);
        }
        break;
    default:
        break;
    }
    return out;
}

ExifListing listExifItems(const QString& path) {
    return listExifItems(*OpenedPhoto::open(path));
}

ExifListing listExifItems(const OpenedPhoto& photo) {
    ExifListing listing;
    ImageProperties picture;
    listing.opened = picture.open(photo);
    listing.error = picture.openError();
    if (!listing.opened) return listing;
    const QVector<PropertyItem> items = picture.allItems();
    listing.rows.reserve(items.size() + 1);
    for (const PropertyItem& item : items)
        listing.rows.append(
            ExifRow{TagName(item.id), TypeName(item.type), formatPropertyValue(item, &listing)});
    if (const auto size = picture.pixelSize())
        listing.rows.append(ExifRow{QString::fromUtf8(kPixelSizeRowName), QString(),
                                    QStringLiteral(" %1 x %2").arg(size->width()).arg(size->height())});
    return listing;
}

QString ExifListing::failureMessage() const {
    if (error == FileOpenError::UnsupportedFormat) return QStringLiteral("Format non pris en charge");
    return QString::fromLatin1(kErrorRet1);
}

float viewDirectionFromRows(const StringGrid& sg2) {
    float direction = kNoViewDirection;
    for (int r = 1; r < sg2.rowCount(); ++r) {
        if (sg2.cell(ExifName, r) != kGpsImgDir) continue;
        // A cell that is not one number (empty after a failed division, or several numbers) tells
        // no direction; the photo is then shown without a view sector rather than not at all.
        if (const auto v = StrToFloat(sg2.cell(ExifValue, r))) direction = float(*v);
    }
    return direction;
}

void referenceLabelsFromRows(const StringGrid& sg2, QString& label3, QString& label4) {
    // Names are looked up by id alone, so a stray item of the main image or thumbnail directory
    // with id 1 to 4 (seen in some cameras' files, of no known type) is also named like a GPS item.
    // Only a reference that is text and a position that is rationals make the labels.
    const QString ascii = TypeName(TypeAscii);
    const QString rational = TypeName(TypeRational);
    const QString signedRational = TypeName(TypeSRational);
    auto pass = [&](const QString& refName, const QString& valueName, QString& label) {
        for (int r = 1; r < sg2.rowCount(); ++r) {
            const QString name = sg2.cell(ExifName, r);
            const QString type = sg2.cell(ExifType, r);
            if (name == refName && type == ascii)
                label = sg2.cell(ExifValue, r);
            else if (name == valueName && (type == rational || type == signedRational))
                label += QLatin1Char(' ') + sg2.cell(ExifValue, r);
        }
    };
    pass(kGpsLatitudeRef, kGpsLatitude, label3);
    pass(kGpsLongitudeRef, kGpsLongitude, label4);
}

} // namespace vantorel
