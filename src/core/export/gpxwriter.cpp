// SPDX-License-Identifier: GPL-3.0-or-later
#include "gpxwriter.h"

#include "files/photoextensions.h"
#include "metadata/imageproperties.h"
#include "metadata/rationals.h"
#include "tables/gridcolumns.h"
#include "text/escape.h"

#include <QDate>
#include <cmath>

namespace vantorel {
namespace {

const QByteArray kXmlDeclaration = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
const QByteArray kGpxStart = QByteArrayLiteral(
    "<gpx xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" version=\"1.0\" creator=\"Vantorel\" "
    "xmlns=\"http://www.topografix.com/GPX/1/0\">\r\n");
const QByteArray kGpxEnd = QByteArrayLiteral("</gpx>\r\n");

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// An xsd:decimal: optional sign, digits, optional point and digits; no exponent, no blanks.
bool isPlainDecimal(const QString& text) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        if (isAsciiDigit(text[i]))
            digits = true;
        else if (text[i] == u'.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

// A table cell written with the locale's decimal comma, as the decimal number the file needs
// (the cell's own digits when they already are one); nothing when it is not a finite number.
std::optional<QString> decimalText(QString cell, int decimals) {
    cell.replace(u',', u'.');
    if (isPlainDecimal(cell)) return cell;
    bool ok = false;
    const double value = cell.toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return QString::number(value, 'f', decimals);
}

// A signed coordinate within ±limit degrees.
std::optional<QString> coordinateText(const QString& cell, double limit) {
    const auto text = decimalText(cell, 5);
    if (!text) return std::nullopt;
    const double value = text->toDouble();
    if (!(std::fabs(value) <= limit)) return std::nullopt;
    return text;
}

// The elevation: below sea level (reference "1") the altitude is written negative.
std::optional<QString> elevationText(const QString& refCell, const QString& altitudeCell) {
    if (altitudeCell.isEmpty()) return std::nullopt;
    auto text = decimalText(altitudeCell, 2);
    if (!text) return std::nullopt;
    if (refCell.startsWith(u'1')) {
        // A camera that also stored the value negative means the same depth, not a height.
        if (text->startsWith(u'-') || text->startsWith(u'+')) text->remove(0, 1);
        text->prepend(u'-');
    }
    return text;
}

// One component of the time stamp, a rational with a positive denominator.
std::optional<double> timeComponent(const PropertyItem& item, int index) {
    const Rational r = rationalAt(item, index);
    if (r.denominator <= 0 || r.numerator < 0) return std::nullopt;
    return double(r.numerator) / double(r.denominator);
}

void appendUtf8(QByteArray& out, const QString& text) {
    out += text.toUtf8();
}

} // namespace

QString gpsUtcTime(const std::optional<PropertyItem>& dateStamp,
                   const std::optional<PropertyItem>& timeStamp) {
    if (!dateStamp || !timeStamp || dateStamp->type != TypeAscii || timeStamp->type != TypeRational ||
        timeStamp->length() < 24)
        return {};
    // "YYYY:MM:DD"; some writers use "-" between the fields, others add the time after a blank
    // (the time stamp item stays the one read).
    QString date = dateStamp->text().trimmed();
    if (date.size() > 10 && date[10] == u' ') date.truncate(10);
    if (date.size() != 10 || (date[4] != u':' && date[4] != u'-') || date[7] != date[4]) return {};
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!isAsciiDigit(date[i])) return {};
    const QDate day(date.left(4).toInt(), date.mid(5, 2).toInt(), date.mid(8, 2).toInt());
    if (!day.isValid() || day.year() < 1) return {};

    const auto hour = timeComponent(*timeStamp, 0), minute = timeComponent(*timeStamp, 1),
               second = timeComponent(*timeStamp, 2);
    if (!hour || !minute || !second || *hour >= 24 || *minute >= 60 || *second >= 60) return {};
    const qint64 total = qint64(std::floor(*hour * 3600 + *minute * 60 + *second));
    if (total >= 24 * 3600) return {};
    return QStringLiteral("%1T%2:%3:%4Z")
        .arg(day.toString(QStringLiteral("yyyy-MM-dd")))
        .arg(total / 3600, 2, 10, QLatin1Char('0'))
        .arg(total / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(total % 60, 2, 10, QLatin1Char('0'));
}

QString gpsUtcTime(const ImageProperties& photo) {
    return gpsUtcTime(photo.item(GpsDateStamp), photo.item(GpsTimeStamp));
}

void GpxTimes::set(int row, const QString& time) {
    if (row < 0) return;
    if (m_byRow.size() <= row) m_byRow.resize(row + 1);
    m_byRow[row] = time;
}

PoiRowReader GpxTimes::reader() {
    return [this](int row, const ImageProperties& photo) { set(row, gpsUtcTime(photo)); };
}

const QByteArray& gpxFileStart() {
    static const QByteArray start = kXmlDeclaration + kGpxStart;
    return start;
}

const QByteArray& gpxFileEnd() {
    return kGpxEnd;
}

bool appendGpxWaypoint(QByteArray& out, const StringGrid& SG0, int row, const QString& time) {
    if (SG0.cell(PoiLongitudeText, row).isEmpty() || SG0.cell(PoiSignedLatitude, row).isEmpty()) return false;
    const auto lat = coordinateText(SG0.cell(PoiSignedLatitude, row), 90);
    const auto lon = coordinateText(SG0.cell(PoiSignedLongitude, row), 180);
    if (!lat || !lon) return false;
    out += "<wpt lat=\"";
    appendUtf8(out, *lat);
    out += "\" lon=\"";
    appendUtf8(out, *lon);
    out += "\">\r\n";
    if (const auto ele = elevationText(SG0.cell(PoiAltitudeRef, row), SG0.cell(PoiAltitude, row))) {
        out += "\t<ele>";
        appendUtf8(out, *ele);
        out += "</ele>\r\n";
    }
    if (!time.isEmpty()) {
        out += "\t<time>";
        appendUtf8(out, time);
        out += "</time>\r\n";
    }
    // The file name without its extension (the last four characters, ".jpg"; those of ".jpeg" keep
    // its dot). The four-letter extensions of the other photos go whole: "IMG_0001.heic" is "IMG_0001".
    const QString name = SG0.cell(PoiName, row);
    qsizetype cut = 4;
    if (const qsizetype dot = name.lastIndexOf(u'.'); dot >= 0 && name.size() - dot == 5) {
        const QString extension = name.mid(dot + 1).toLower();
        if (extension != QLatin1String("jpeg") && photoExtensions().contains(extension)) cut = 5;
    }
    out += "\t<name>";
    appendUtf8(out, xmlEscape(name.left(std::max<qsizetype>(0, name.size() - cut))));
    out += "</name>\r\n\t<desc>";
    appendUtf8(out, xmlEscape(SG0.cell(PoiPath, row)));
    out += "</desc>\r\n</wpt>\r\n";
    return true;
}

GpxFile buildGpx(const StringGrid& SG0, int rowCount, const GpxTimes& times,
                 const std::function<void()>& pump) {
    GpxFile file;
    file.bytes.reserve(256 + 256 * qsizetype(std::max(rowCount, 0)));
    file.bytes += gpxFileStart();
    for (int row = 1; row <= rowCount; ++row) {
        if (pump && row % kRowsBetweenPumps == 0) pump();
        if (appendGpxWaypoint(file.bytes, SG0, row, times.at(row))) ++file.waypoints;
    }
    file.bytes += gpxFileEnd();
    return file;
}

} // namespace vantorel
