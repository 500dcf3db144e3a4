// SPDX-License-Identifier: GPL-3.0-or-later
#include "placeindex.h"

#include "namecatalogue.h"

#include <QHash>
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

// Coordinates of a point on the unit sphere: the straight (chord) distance between two of them
// grows with the great-circle distance, and nothing wraps at the 180th meridian or at the poles.
struct Point {
    double c[3];
    int town; // its place in libgeonames' list
    int axis; // the axis a range split at this point is split along
};

Point unitPoint(double latitude, double longitude, int town) {
    const double phi = latitude * kDegree, lambda = longitude * kDegree;
    return {{std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)}, town, 0};
}

double chordKm(double squaredChord) {
    return 2.0 * kEarthRadiusKm * std::asin(std::min(1.0, std::sqrt(squaredChord) / 2.0));
}

bool inRange(double latitude, double longitude) {
    return std::isfinite(latitude) && std::isfinite(longitude) && std::abs(latitude) <= 90.0 &&
           std::abs(longitude) <= 180.0;
}

// A town is a tuple (id, name, region code, region, country code, country, zone, population,
// latitude, longitude); the getters give names translated into the process's locale only, so the
// names and their identifiers in the catalogues are read from the tuple when it has that shape.
constexpr char kTownShape[] = "(sssssssudd)";

// A k-d tree over the towns' unit points, kept in one array: the middle point of a range splits it
// along its axis; ranges of kLeafSize points or fewer are leaves. Only positions and zones are
// kept: the names are read from libgeonames for the town found.
class Index {
public:
    Index() {
        const int count = std::max(0, geonames_get_n_cities());
        zoneOf_.assign(static_cast<size_t>(count), -1);
        points_.reserve(static_cast<size_t>(count));
        QHash<QByteArray, int> zoneNumbers;
        for (int i = 0; i < count; ++i) {
            GeonamesCity* city = geonames_get_city(i);
            if (!city) continue;
            const double latitude = geonames_city_get_latitude(city),
                         longitude = geonames_city_get_longitude(city);
            const char* zone = geonames_city_get_timezone(city);
            const QByteArray zoneName(zone ? zone : "");
            if (inRange(latitude, longitude)) {
                auto found = zoneNumbers.constFind(zoneName);
                if (found == zoneNumbers.cend()) {
                    found = zoneNumbers.insert(zoneName, static_cast<int>(zones_.size()));
                    zones_.push_back(QString::fromUtf8(zoneName));
                }
                zoneOf_[static_cast<size_t>(i)] = *found;
                points_.push_back(unitPoint(latitude, longitude, i));
            }
            geonames_city_free(city);
        }
        build(0, static_cast<int>(points_.size()));
    }

    int size() const { return static_cast<int>(points_.size()); }
    const QString& zoneOf(int town) const {
        return zones_[static_cast<size_t>(zoneOf_[static_cast<size_t>(town)])];
    }

    // The nearest town's number and squared chord; among towns at exactly the same distance, the
    // first of the list.
    std::pair<int, double> nearest(const Point& q) const {
        Best best{-1, std::numeric_limits<double>::infinity()};
        double offsets[3] = {0, 0, 0};
        search(0, static_cast<int>(points_.size()), q, best, offsets, 0.0);
        return {best.town, best.squared};
    }

private:
    struct Best {
        int town;
        double squared;
    };

    void build(int begin, int end) {
        if (end - begin <= kLeafSize) return;
        // Split along the axis where the range spreads most.
        double low[3] = {2, 2, 2}, high[3] = {-2, -2, -2};
        for (int i = begin; i < end; ++i)
            for (int a = 0; a < 3; ++a) {
                low[a] = std::min(low[a], points_[static_cast<size_t>(i)].c[a]);
                high[a] = std::max(high[a], points_[static_cast<size_t>(i)].c[a]);
            }
        int axis = 0;
        for (int a = 1; a < 3; ++a)
            if (high[a] - low[a] > high[axis] - low[axis]) axis = a;
        const int middle = begin + (end - begin) / 2;
        std::nth_element(points_.begin() + begin, points_.begin() + middle, points_.begin() + end,
                         [axis](const Point& a, const Point& b) { return a.c[axis] < b.c[axis]; });
        points_[static_cast<size_t>(middle)].axis = axis;
        build(begin, middle);
        build(middle + 1, end);
    }

    static void consider(const Point& p, const Point& q, Best& best) {
        const double dx = p.c[0] - q.c[0], dy = p.c[1] - q.c[1], dz = p.c[2] - q.c[2];
        const double squared = dx * dx + dy * dy + dz * dz;
        if (squared < best.squared || (squared == best.squared && p.town < best.town))
            best = {p.town, squared};
    }

    // `offsets` and `floor`: how far the query is outside the range's cell along each axis, and the
    // sum of their squares, a lower bound of the squared distance to any point of the range.
    void search(int begin, int end, const Point& q, Best& best, double offsets[3], double floor) const {
        if (end - begin <= kLeafSize) {
            for (int i = begin; i < end; ++i)
                consider(points_[static_cast<size_t>(i)], q, best);
            return;
        }
        const int middle = begin + (end - begin) / 2;
        const Point& split = points_[static_cast<size_t>(middle)];
        const int axis = split.axis;
        const double side = q.c[axis] - split.c[axis];
        consider(split, q, best);
        const bool below = side < 0;
        search(below ? begin : middle + 1, below ? middle : end, q, best, offsets, floor);
        // The other side's cell is `side` away along the axis.
        const double saved = offsets[axis];
        const double farFloor = floor - saved * saved + side * side;
        if (farFloor <= best.squared) {
            offsets[axis] = side;
            search(below ? middle + 1 : begin, below ? end : middle, q, best, offsets, farFloor);
            offsets[axis] = saved;
        }
    }

    std::vector<int> zoneOf_; // per town of libgeonames' list, in zones_; -1: not indexed
    std::vector<QString> zones_;
    std::vector<Point> points_;
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
    const double dx = a.c[0] - b.c[0], dy = a.c[1] - b.c[1], dz = a.c[2] - b.c[2];
    return chordKm(dx * dx + dy * dy + dz * dz);
}

int townCount() {
    return index().size();
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
    return index().zoneOf(found.town);
}

std::optional<Place> nearestPlace(double latitude, double longitude, const QByteArray& language) {
    const Nearest found = nearestTown(latitude, longitude);
    if (found.town < 0) return std::nullopt;
    GeonamesCity* city = geonames_get_city(found.town);
    if (!city) return std::nullopt;
    const auto names = LanguageNames::forLanguage(language);
    Place place;
    if (g_variant_is_of_type(city, G_VARIANT_TYPE(kTownShape))) {
        const gchar *id, *name, *regionCode, *region, *countryCode, *country, *zone;
        guint32 population;
        double townLatitude, townLongitude;
        g_variant_get(city, "(&s&s&s&s&s&s&sudd)", &id, &name, &regionCode, &region, &countryCode, &country,
                      &zone, &population, &townLatitude, &townLongitude);
        place.town = names->name(id, QString::fromUtf8(name));
        place.region =
            *regionCode ? names->name(QByteArray(countryCode) + '.' + regionCode, QString::fromUtf8(region))
                        : QString::fromUtf8(region);
        place.country = names->name(countryCode, QString::fromUtf8(country));
        place.countryCode = QString::fromUtf8(countryCode);
    } else {
        place.town = QString::fromUtf8(geonames_city_get_name(city));
        place.region = QString::fromUtf8(geonames_city_get_state(city));
        place.country = QString::fromUtf8(geonames_city_get_country(city));
        place.countryCode = QString::fromUtf8(geonames_city_get_country_code(city));
    }
    geonames_city_free(city);
    place.km = found.km;
    place.atSea = found.km > kAtSeaKm;
    if (!place.atSea) place.zone = index().zoneOf(found.town);
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
