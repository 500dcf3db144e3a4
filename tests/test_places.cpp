// SPDX-License-Identifier: GPL-3.0-or-later
// The place index: a table of positions with their town, region, country and zone in French and in
// English, and the index checked against libgeonames' own towns by brute force on many points.
#include "fixtures.h"
#include "places/namecatalogue.h"
#include "places/placeindex.h"

#include <QRandomGenerator>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <vector>
// glib's headers use Qt's keyword as a name.
#undef signals
#include <geonames.h>

using namespace vantorel::places;

namespace {

struct Expected {
    const char* what;
    double latitude, longitude;
    const char *townFr, *regionFr, *countryFr;
    const char *townEn, *regionEn, *countryEn;
    const char* code;
    const char* zone; // empty at sea
    double km;        // the distance to the town, to 0.1 km
};

const Expected kPlaces[] = {
    {"Paris", 48.8566, 2.3522, "Paris", "Île-de-France", "France", "Paris", "Île-de-France Region", "France",
     "FR", "Europe/Paris", 0.4},
    {"Arezzo", 43.4633, 11.8797, "Arezzo", "Toscane", "Italie", "Arezzo", "Tuscany", "Italy", "IT",
     "Europe/Rome", 0.1},
    // Vanua Levu, west of the 180th meridian, 14 km from Labasa.
    {"Vanua Levu", -16.43, 179.5, "Labasa", "Division septentrionale", "Fidji", "Labasa", "Northern", "Fiji",
     "FJ", "Pacific/Fiji", 14.5},
    // Taveuni, east of the 180th meridian: its nearest town is Labasa, across it, 86 km away (so
    // taken to be at sea: the island has no town of 15,000).
    {"Taveuni", -16.85, -179.95, "Labasa", "Division septentrionale", "Fidji", "Labasa", "Northern", "Fiji",
     "FJ", "", 86.5},
    // Valença, Portugal: its nearest town is Tui, across the Minho, in Spain and Madrid's zone.
    {"Valença", 41.9996, -8.6436, "Tui", "Galice", "Espagne", "Tui", "Galicia", "Spain", "ES",
     "Europe/Madrid", 5.3},
    {"Kehl", 48.5725, 7.815, "Kehl", "Bade-Wurtemberg", "Allemagne", "Kehl", "Baden-Württemberg", "Germany",
     "DE", "Europe/Berlin", 0.1},
    {"the open Atlantic", 35, -40, "Ponta Delgada", "Açores", "Portugal", "Ponta Delgada", "Azores",
     "Portugal", "PT", "", 1317.4},
    {"the North Pole", 90, 0, "Longyearbyen", "Svalbard", "Svalbard et Jan Mayen", "Longyearbyen", "Svalbard",
     "Svalbard and Jan Mayen", "SJ", "", 1309.5},
    // Any longitude at a pole is the pole.
    {"the North Pole from the 180th meridian", 90, 180, "Longyearbyen", "Svalbard", "Svalbard et Jan Mayen",
     "Longyearbyen", "Svalbard", "Svalbard and Jan Mayen", "SJ", "", 1309.5},
    // The French catalogue has no name for this region: the English one stands.
    {"the South Pole", -90, -45, "Ushuaïa", "Tierra del Fuego Province", "Argentine", "Ushuaia",
     "Tierra del Fuego Province", "Argentina", "AR", "", 3912.9},
};

constexpr double kDegree = std::numbers::pi / 180.0;

// libgeonames' towns through its public getters, and the nearest by haversine over all of them.
class BruteForce {
public:
    BruteForce() {
        for (int i = 0, n = geonames_get_n_cities(); i < n; ++i) {
            GeonamesCity* city = geonames_get_city(i);
            latitudes_.push_back(geonames_city_get_latitude(city) * kDegree);
            longitudes_.push_back(geonames_city_get_longitude(city) * kDegree);
            geonames_city_free(city);
        }
    }
    double km(int town, double latitude, double longitude) const {
        const double p = latitude * kDegree, q = longitude * kDegree;
        const double a = latitudes_[town], b = longitudes_[town];
        const double h = std::sin((a - p) / 2) * std::sin((a - p) / 2) +
                         std::cos(a) * std::cos(p) * std::sin((b - q) / 2) * std::sin((b - q) / 2);
        return 2 * 6371.0088 * std::asin(std::min(1.0, std::sqrt(h)));
    }
    std::pair<int, double> nearest(double latitude, double longitude) const {
        std::pair<int, double> best{-1, std::numeric_limits<double>::infinity()};
        for (int i = 0; i < static_cast<int>(latitudes_.size()); ++i)
            if (const double d = km(i, latitude, longitude); d < best.second) best = {i, d};
        return best;
    }
    int size() const { return static_cast<int>(latitudes_.size()); }

private:
    std::vector<double> latitudes_, longitudes_;
};

const BruteForce& bruteForce() {
    static const BruteForce all;
    return all;
}

TEST(Places, TableOfPositionsInFrenchAndEnglish) {
    ASSERT_GT(townCount(), 20000) << "libgeonames' towns are missing";
    for (const Expected& e : kPlaces) {
        SCOPED_TRACE(e.what);
        const auto french = nearestPlace(e.latitude, e.longitude, "fr");
        const auto english = nearestPlace(e.latitude, e.longitude, "");
        ASSERT_TRUE(french && english);
        EXPECT_EQ(french->town, QString::fromUtf8(e.townFr));
        EXPECT_EQ(french->region, QString::fromUtf8(e.regionFr));
        EXPECT_EQ(french->country, QString::fromUtf8(e.countryFr));
        EXPECT_EQ(english->town, QString::fromUtf8(e.townEn));
        EXPECT_EQ(english->region, QString::fromUtf8(e.regionEn));
        EXPECT_EQ(english->country, QString::fromUtf8(e.countryEn));
        for (const auto& place : {*french, *english}) {
            EXPECT_EQ(place.countryCode, QString::fromLatin1(e.code));
            EXPECT_EQ(place.zone, QString::fromLatin1(e.zone));
            EXPECT_EQ(place.atSea, !*e.zone);
            EXPECT_NEAR(place.km, e.km, 0.051);
        }
        EXPECT_EQ(zoneAt(e.latitude, e.longitude), QString::fromLatin1(e.zone));
        // The same town as libgeonames' own list, by brute force.
        const auto [town, km] = bruteForce().nearest(e.latitude, e.longitude);
        EXPECT_EQ(nearestTown(e.latitude, e.longitude).town, town);
        EXPECT_NEAR(nearestTown(e.latitude, e.longitude).km, km, 1e-6);
    }
}

TEST(Places, SwissFrenchFallsBackToFrenchAndUnknownLanguagesToEnglish) {
    // fr_CH's catalogue names few towns: the others come from fr's.
    EXPECT_EQ(nearestPlace(43.4633, 11.8797, "fr_CH.UTF-8")->region, QStringLiteral("Toscane"));
    EXPECT_EQ(nearestPlace(43.4633, 11.8797, "xx_YY")->region, QStringLiteral("Tuscany"));
    EXPECT_EQ(nearestPlace(43.4633, 11.8797, "../../etc")->region, QStringLiteral("Tuscany"));
}

TEST(Places, AgreesWithBruteForceOnRandomPoints) {
    const BruteForce& all = bruteForce();
    ASSERT_EQ(townCount(), all.size());
    QRandomGenerator random(20261211);
    std::vector<std::pair<double, double>> points;
    // Uniform on the sphere, then crowded near the 180th meridian, the poles and in Europe.
    for (int i = 0; i < 1000; ++i)
        points.emplace_back(std::asin(random.generateDouble() * 2 - 1) / kDegree,
                            random.generateDouble() * 360 - 180);
    for (int i = 0; i < 200; ++i) {
        points.emplace_back(random.generateDouble() * 180 - 90, 179 + random.generateDouble() * 1);
        points.emplace_back(random.generateDouble() * 180 - 90, -180 + random.generateDouble() * 1);
        points.emplace_back(89 + random.generateDouble(), random.generateDouble() * 360 - 180);
        points.emplace_back(-89 - random.generateDouble(), random.generateDouble() * 360 - 180);
        points.emplace_back(36 + random.generateDouble() * 24, -10 + random.generateDouble() * 40);
    }
    points.emplace_back(0, 180);
    points.emplace_back(0, -180);
    points.emplace_back(-90, 0);
    int wrong = 0;
    for (const auto& [latitude, longitude] : points) {
        const auto [town, km] = all.nearest(latitude, longitude);
        const Nearest found = nearestTown(latitude, longitude);
        ASSERT_GE(found.town, 0);
        // Equal distances may name either town: the distances must agree.
        if (std::abs(found.km - km) > 1e-6 || std::abs(all.km(found.town, latitude, longitude) - km) > 1e-6) {
            ADD_FAILURE() << latitude << ", " << longitude << ": town " << found.town << " at " << found.km
                          << " km, brute force " << town << " at " << km << " km";
            if (++wrong > 10) return;
        }
    }
}

TEST(Places, OutOfRangeHasNoPlace) {
    const double nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    for (const auto& [latitude, longitude] : std::vector<std::pair<double, double>>{
             {90.0001, 0}, {-91, 0}, {0, 180.5}, {0, -181}, {nan, 0}, {0, inf}}) {
        EXPECT_FALSE(nearestPlace(latitude, longitude, "fr")) << latitude << ", " << longitude;
        EXPECT_TRUE(zoneAt(latitude, longitude).isEmpty());
        EXPECT_EQ(nearestTown(latitude, longitude).town, -1);
    }
}

TEST(Places, LanguageOfNamesFromTheEnvironment) {
    struct Case {
        const char *language, *locale, *expected;
    } const cases[] = {
        {"", "", "fr"},        // nothing set: the program's French
        {"", "C.UTF-8", "fr"}, // a locale without a language
        {"", "C", ""},         // LC_MESSAGES=C: the towns' English names
        {"", "POSIX", ""},
        {"de", "C", ""}, // gettext ignores LANGUAGE in the C locale
        {"", "fr_FR.UTF-8", "fr_FR.UTF-8"},
        {"", "de_DE.UTF-8", "de_DE.UTF-8"},
        {"it:fr", "de_DE.UTF-8", "it"}, // LANGUAGE first
        {"", "../../tmp/x", "fr"},      // never a path
    };
    for (const Case& c : cases)
        EXPECT_EQ(namesLanguageFor(c.language, c.locale), QByteArray(c.expected))
            << c.language << " " << c.locale;
}

// A catalogue of two messages in the writer's byte order.
QByteArray catalogue(bool bigEndian) {
    const QList<QPair<QByteArray, QByteArray>> messages{{"", "Header"}, {"3182884", "Arezzo"}};
    QByteArray bytes;
    const auto word = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            bytes.append(char(bigEndian ? v >> (24 - 8 * i) : v >> (8 * i)));
    };
    const quint32 count = quint32(messages.size()), ids = 28, texts = ids + 8 * count;
    word(0x950412de);
    word(0);
    word(count);
    word(ids);
    word(texts);
    word(0);
    word(0);
    quint32 at = texts + 8 * count;
    QByteArray strings;
    for (const bool translation : {false, true})
        for (const auto& [id, text] : messages) {
            const QByteArray s = translation ? text : id;
            word(quint32(s.size()));
            word(at + quint32(strings.size()));
            strings += s + '\0';
        }
    return bytes + strings;
}

TEST(Places, CatalogueReaderRefusesDamagedFiles) {
    for (const bool bigEndian : {false, true}) {
        const NameCatalogue good = NameCatalogue::fromBytes(catalogue(bigEndian));
        EXPECT_EQ(good.size(), 1);
        EXPECT_EQ(good.find("3182884"), QStringLiteral("Arezzo"));
    }
    const QByteArray bytes = catalogue(false);
    // Every cut of the file, and offsets and counts pointing past its end, give an empty catalogue.
    for (qsizetype cut = 0; cut < bytes.size() - 1; ++cut)
        EXPECT_TRUE(NameCatalogue::fromBytes(bytes.left(cut)).isEmpty()) << cut;
    for (const qsizetype field : {8, 12, 16, 28 + 8 + 4, 28 + 16 + 8 + 4}) {
        QByteArray damaged = bytes;
        damaged[field + 3] = char(0x7f);
        EXPECT_TRUE(NameCatalogue::fromBytes(damaged).isEmpty()) << field;
    }
    EXPECT_TRUE(NameCatalogue::fromFile(QStringLiteral("/nonexistent/geonames.mo")).isEmpty());
}

} // namespace
