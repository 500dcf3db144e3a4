// SPDX-License-Identifier: GPL-3.0-or-later
#include "placeindex.h"

#include "namecatalogue.h"

#include <QList>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>
// glib's headers use Qt's keyword as a name.
#undef signals
#include <geonames.h>

namespace vantorel::places {

namespace {

constexpr double kEarthRadiusKm = 6371.0088; // mean radius
constexpr double kDegree = std::numbers::pi / 180.0;
// Ranges of this many points or fewer are scanned whole rather than split further.
constexpr int kLeafSize = 6;

struct Town {
    QString name, region, country, countryCode; // the towns' own (English) names
    QByteArray nameId, regionId;                // their identifiers in libgeonames' catalogues
    int zone = -1;                              // in Index::zones
};

struct Point {
    double x, y, z;
    int town;
};

// A point on the unit sphere: the straight (chord) distance between two of them grows with the
// great-circle distance, and nothing wraps at the 180th meridian or at the poles.
Point unitPoint(double latitude, double longitude, int town) {
    const double phi = latitude * kDegree, lambda = longitude * kDegree;
    return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi), town};
}

double coordinate(const Point& p, int axis) {
    return axis == 0 ? p.x : axis == 1 ? p.y : p.z;
}

double chordKm(double squaredChord) {
    return 2.0 * kEarthRadiusKm * std::asin(std::min(1.0, std::sqrt(squaredChord) / 2.0));
}

bool inRange(double latitude, double longitude) {
    return std::isfinite(latitude) && std::isfinite(longitude) && std::abs(latitude) <= 90.0 &&
           std::abs(longitude) <= 180.0;
}

// A k-d tree over the towns' unit points, kept in one array: the middle point of a range splits it
// along the axis stored for it; ranges of kLeafSize points or fewer are leaves.
class Index {
public:
    Index() {
        const int count = std::max(0, geonames_get_n_cities());
        towns_.reserve(count);
        points_.reserve(count);
        for (int i = 0; i < count; ++i) {
            GeonamesCity* city = geonames_get_city(i);
            if (!city) continue;
            addTown(city, i);
            geonames_city_free(city);
        }
        axes_.assign(points_.size(), 0);
        build(0, static_cast<int>(points_.size()));
    }

    int size() const { return static_cast<int>(towns_.size()); }
    const Town& town(int i) const { return towns_[static_cast<size_t>(i)]; }
    const QString& zone(int i) const { return zones_[static_cast<size_t>(i)]; }

    // The nearest town's number (its place in libgeonames' list) and squared chord; among towns at
    // exactly the same distance, the first of the list.
    std::pair<int, double> nearest(const Point& q) const {
        Best best{-1, std::numeric_limits<double>::infinity()};
        search(0, static_cast<int>(points_.size()), q, best);
        return {best.town, best.squared};
    }

private:
    struct Best {
        int town;
        double squared;
    };

    void addTown(GeonamesCity* city, int number) {
        Town town;
        // A town is a tuple (id, name, region code, region, country code, country, zone,
        // population, latitude, longitude); the getters give names translated into the process's
        // locale only, so the names and identifiers are read from it directly when it has that shape.
        const char* zone = nullptr;
        if (g_variant_is_of_type(city, G_VARIANT_TYPE("(sssssssudd)"))) {
            const gchar *id, *name, *regionCode, *region, *countryCode, *country;
            guint32 population;
            double latitude, longitude;
            g_variant_get(city, "(&s&s&s&s&s&s&sudd)", &id, &name, &regionCode, &region, &countryCode,
                          &country, &zone, &population, &latitude, &longitude);
            town.name = QString::fromUtf8(name);
            town.region = QString::fromUtf8(region);
            town.country = QString::fromUtf8(country);
            town.countryCode = QString::fromUtf8(countryCode);
            town.nameId = id;
            if (*regionCode) town.regionId = QByteArray(countryCode) + '.' + regionCode;
        } else {
            town.name = QString::fromUtf8(geonames_city_get_name(city));
            town.region = QString::fromUtf8(geonames_city_get_state(city));
            town.country = QString::fromUtf8(geonames_city_get_country(city));
            town.countryCode = QString::fromUtf8(geonames_city_get_country_code(city));
            zone = geonames_city_get_timezone(city);
        }
        const double latitude = geonames_city_get_latitude(city),
                     longitude = geonames_city_get_longitude(city);
        if (!inRange(latitude, longitude)) return;
        const QString zoneName = QString::fromUtf8(zone ? zone : "");
        auto found = std::find(zones_.begin(), zones_.end(), zoneName);
        town.zone = static_cast<int>(found - zones_.begin());
        if (found == zones_.end()) zones_.push_back(zoneName);
        // Towns keep libgeonames' numbering even if one was skipped.
        while (static_cast<int>(towns_.size()) < number)
            towns_.emplace_back();
        towns_.push_back(std::move(town));
        points_.push_back(unitPoint(latitude, longitude, number));
    }

    void build(int begin, int end) {
        if (end - begin <= kLeafSize) return;
        // Split along the axis where the range spreads most.
        double low[3] = {2, 2, 2}, high[3] = {-2, -2, -2};
        for (int i = begin; i < end; ++i)
            for (int a = 0; a < 3; ++a) {
                low[a] = std::min(low[a], coordinate(points_[i], a));
                high[a] = std::max(high[a], coordinate(points_[i], a));
            }
        int axis = 0;
        for (int a = 1; a < 3; ++a)
            if (high[a] - low[a] > high[axis] - low[axis]) axis = a;
        const int middle = begin + (end - begin) / 2;
        std::nth_element(
            points_.begin() + begin, points_.begin() + middle, points_.begin() + end,
            [axis](const Point& a, const Point& b) { return coordinate(a, axis) < coordinate(b, axis); });
        axes_[static_cast<size_t>(middle)] = static_cast<unsigned char>(axis);
        build(begin, middle);
        build(middle + 1, end);
    }

    static void consider(const Point& p, const Point& q, Best& best) {
        const double dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
        const double squared = dx * dx + dy * dy + dz * dz;
        if (squared < best.squared || (squared == best.squared && p.town < best.town))
            best = {p.town, squared};
    }

    void search(int begin, int end, const Point& q, Best& best) const {
        if (end - begin <= kLeafSize) {
            for (int i = begin; i < end; ++i)
                consider(points_[static_cast<size_t>(i)], q, best);
            return;
        }
        const int middle = begin + (end - begin) / 2;
        const Point& split = points_[static_cast<size_t>(middle)];
        const int axis = axes_[static_cast<size_t>(middle)];
        const double side = coordinate(q, axis) - coordinate(split, axis);
        consider(split, q, best);
        if (side < 0) {
            search(begin, middle, q, best);
            if (side * side <= best.squared) search(middle + 1, end, q, best);
        } else {
            search(middle + 1, end, q, best);
            if (side * side <= best.squared) search(begin, middle, q, best);
        }
    }

    std::vector<Town> towns_;
    std::vector<QString> zones_;
    std::vector<Point> points_;
    std::vector<unsigned char> axes_;
};

// Built on first use; a function's static is built once even when threads ask together.
const Index& index() {
    static const Index built;
    return built;
}

bool isCLocale(const QByteArray& locale) {
    return locale == "C" || locale == "POSIX";
}

// A language name as a folder name: letters, digits, '_', '.', '@', '-' only.
bool plainLanguage(const QByteArray& language) {
    return std::all_of(language.begin(), language.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '.' || c == '@' || c == '-';
    });
}

} // namespace

double greatCircleKm(double latitude1, double longitude1, double latitude2, double longitude2) {
    const Point a = unitPoint(latitude1, longitude1, 0), b = unitPoint(latitude2, longitude2, 0);
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return chordKm(dx * dx + dy * dy + dz * dz);
}

int townCount() {
    const Index& all = index();
    int count = 0;
    for (int i = 0; i < all.size(); ++i)
        count += all.town(i).zone >= 0;
    return count;
}

Nearest nearestTown(double latitude, double longitude) {
    if (!inRange(latitude, longitude)) return {};
    const auto [town, squared] = index().nearest(unitPoint(latitude, longitude, -1));
    if (town < 0) return {};
    return {town, chordKm(squared)};
}

QString zoneAt(double latitude, double longitude) {
    const Nearest found = nearestTown(latitude, longitude);
    if (found.town < 0 || found.km > kAtSeaKm) return {};
    return index().zone(index().town(found.town).zone);
}

std::optional<Place> nearestPlace(double latitude, double longitude, const QByteArray& language) {
    const Nearest found = nearestTown(latitude, longitude);
    if (found.town < 0) return std::nullopt;
    const Town& town = index().town(found.town);
    const auto names = LanguageNames::forLanguage(language);
    Place place;
    place.town = names->name(town.nameId, town.name);
    place.region = town.regionId.isEmpty() ? town.region : names->name(town.regionId, town.region);
    place.country = names->name(town.countryCode.toLatin1(), town.country);
    place.countryCode = town.countryCode;
    place.km = found.km;
    place.atSea = found.km > kAtSeaKm;
    if (!place.atSea) place.zone = index().zone(town.zone);
    return place;
}

std::optional<Place> nearestPlace(double latitude, double longitude) {
    return nearestPlace(latitude, longitude, namesLanguage());
}

QByteArray namesLanguageFor(const QByteArray& languageVariable, const QByteArray& locale) {
    QByteArray language;
    if (locale.isEmpty() || locale.startsWith("C.") || locale.startsWith("C@"))
        language = "fr";
    else if (isCLocale(locale))
        return {};
    else
        language = locale;
    // LANGUAGE lists languages by preference; gettext reads it unless the locale is plain C.
    const QByteArray first = languageVariable.split(':').value(0);
    if (!first.isEmpty()) language = first;
    return plainLanguage(language) ? language : QByteArray("fr");
}

QByteArray namesLanguage() {
    static const QByteArray language = [] {
        QByteArray locale;
        for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            locale = qgetenv(variable);
            if (!locale.isEmpty()) break;
        }
        return namesLanguageFor(qgetenv("LANGUAGE"), locale);
    }();
    return language;
}

} // namespace vantorel::places
