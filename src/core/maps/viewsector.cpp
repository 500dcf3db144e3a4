// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewsector.h"

#include "text/numberformat.h"

#include <cmath>
#include <numbers>

namespace vantorel {
namespace {

const std::array<SensorDimensions, 18> kSensorSizes{{
    {"1/6\"", 2.46f, 1.8f},
    {"1/4\"", 3.6f, 2.7f},
    {"1/3.6\"", 4.0f, 3.0f},
    {"1/3.2\"", 4.54f, 3.42f},
    {"1/3\"", 4.8f, 3.6f},
    {"1/2.7\"", 5.37f, 4.29f},
    {"1/2.5\"", 5.76f, 4.29f},
    {"1/2.4\"", 5.92f, 4.57f},
    {"1/2.3\"", 6.16f, 4.62f},
    {"1/2.33\"", 6.13f, 4.6f},
    {"1/2\"", 6.4f, 4.8f},
    {"1/1.8\"", 7.18f, 5.32f},
    {"1/1.75\"", 7.38f, 5.54f},
    {"1/1.7\"", 7.6f, 5.7f},
    {"1/1.6\"", 8.08f, 6.01f},
    {"2/3\"", 8.8f, 6.6f},
    {"1\"", 12.8f, 9.6f},
    {"4/3\"", 18.0f, 13.5f},
}};

const std::array<SensorDimensions, 3> kCameraSensors{{
    {"Oregon 550", 2.46f, 1.8f},
    {"Oregon 550t", 2.46f, 1.8f},
    {"DSC-HX5V", 5.92f, 4.57f},
}};

// Declination in whole degrees: rows are longitude bands of 30° from -180, columns latitude bands
// of 30° from -90.
constexpr int kDeclination[12][6] = {
    {54, 26, 12, 10, 14, 16},   {50, 26, 12, 10, 20, 26},      {40, 22, 10, 8, 12, 6},
    {20, 8, -8, -10, -12, -30}, {10, -10, -20, -18, -24, -30}, {-10, -20, -18, 6, -2, -16},
    {-30, -24, -10, 0, 2, 6},   {-54, -46, -12, 2, 8, 16},     {-76, -56, -14, 0, 8, 20},
    {-98, -10, 0, 0, -2, 0},    {0, 8, 6, -2, -10, -16},       {60, 22, 10, 6, -14, -4},
};

// The conversion factors the drawn sectors have always used.
double toRadians(double degrees) {
    return degrees * 3.14159265359 * (1.0 / 180);
}
double toDegrees(double radians) {
    return radians * 180 * (1 / std::numbers::pi);
}

double StrToFloatDef(const QString& text) {
    return StrToFloat(text).value_or(0);
}

// Index of the 30° band holding `value` in [low, low + 30 * bands]; the top bound belongs to the last band.
int band(float value, float low, int bands) {
    if (!(value >= low) || value > low + 30 * bands) return -1;
    return std::min(int(std::floor((double(value) - low) / 30)), bands - 1);
}

QString cornerText(float value) {
    return FloatToStrF(value, 7, 6);
}

} // namespace

QStringList sensorSizeItems() {
    QStringList items;
    for (const SensorDimensions& row : kSensorSizes)
        items << QString::fromUtf8(row.item);
    return items;
}

QString declinationCell(float latitude, float longitude) {
    const int column = band(latitude, -90, 6);
    const int row = band(longitude, -180, 12);
    if (column < 0 || row < 0) return {};
    return QString::number(kDeclination[row][column]);
}

ViewSector ComputeViewSector(const QString& latitudeText, const QString& longitudeText,
                             const ViewSectorInputs& in) {
    ViewSector s;
    const float latitude = float(StrToFloatDef(latitudeText));
    const float longitude = float(StrToFloatDef(longitudeText));

    const auto pick = [&](const SensorDimensions& row) { return in.Landscape ? row.width : row.height; };
    if (in.automaticSensorSize) {
        for (const SensorDimensions& row : kCameraSensors)
            if (in.CameraModel == QLatin1String(row.item)) s.SensorSize = pick(row);
    } else {
        for (const SensorDimensions& row : kSensorSizes)
            if (in.manualSensorSizeText == QString::fromUtf8(row.item)) s.SensorSize = pick(row);
    }
    // A focal length recorded as zero (or unreadable) would divide by zero: no angle then.
    if (in.FocalLength > 0)
        s.AngleOfView = float(toDegrees(2 * std::atan(double(s.SensorSize) / (2 * double(in.FocalLength)))));

    if (in.automaticDeclination) {
        s.DeclinationText = declinationCell(latitude, longitude);
        s.Declination = float(StrToFloatDef(s.DeclinationText));
    } else {
        s.DeclinationText = in.manualDeclinationText;
        s.Declination = float(StrToFloatDef(in.manualDeclinationText));
    }
    s.Correction = float(StrToFloatDef(in.compassCorrectionText));

    const double direction = in.ViewDirection;
    const double half = double(s.AngleOfView) * 0.5;
    const double declination = in.DirectionIsMagnetic ? double(s.Declination) : 0.0;
    s.Bearing1 = float((direction - half) + declination + s.Correction);
    s.Bearing2 = float((half + direction) + declination + s.Correction);
    s.Heading = float(direction + declination + s.Correction);

    const double lat1 = toRadians(latitude);
    const double lon1 = toRadians(longitude);
    const double d = SectorLength / EarthRadius;
    const auto corner = [&](float bearing, float& lat, float& lon) {
        const double b = toRadians(bearing);
        lat = float(
            toDegrees(std::asin(std::sin(lat1) * std::cos(d) + std::cos(lat1) * std::sin(d) * std::cos(b))));
        const double lat2 = toRadians(lat);
        lon = float(toDegrees(std::atan2(std::sin(b) * std::sin(d) * std::cos(lat1),
                                         std::cos(d) - std::sin(lat1) * std::sin(lat2)) +
                              lon1));
    };
    corner(s.Bearing1, s.Edge1Latitude, s.Edge1Longitude);
    corner(s.Bearing2, s.Edge2Latitude, s.Edge2Longitude);
    s.edge1LatitudeText = cornerText(s.Edge1Latitude);
    s.edge1LongitudeText = cornerText(s.Edge1Longitude);
    s.edge2LatitudeText = cornerText(s.Edge2Latitude);
    s.edge2LongitudeText = cornerText(s.Edge2Longitude);
    return s;
}

QString sectorCaption(const ViewSector& s, bool directionIsMagnetic) {
    QString caption = QStringLiteral("Cap visé : ") + FloatToStrF(s.Heading, 15, 0) +
                      QStringLiteral("°   Angle : ") + FloatToStrF(s.AngleOfView, 15, 0);
    if (directionIsMagnetic)
        caption += QStringLiteral("°   Déclinaison : ") + s.DeclinationText + QStringLiteral("°   ");
    else
        caption += QStringLiteral("°   Nord géographique    ");
    if (s.SensorSize > 0)
        caption += QStringLiteral("Capteur : ") + FloatToStrF(s.SensorSize, 15, 2) + QStringLiteral(" mm");
    else
        caption += QStringLiteral("Capteur inconnu");
    return caption;
}

} // namespace vantorel
