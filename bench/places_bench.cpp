// SPDX-License-Identifier: GPL-3.0-or-later
// The place index against brute force: the index's first build, then 1,000,000 lookups at random
// points on the sphere (nearest town, zone, and the whole place with its French names), against the
// haversine distance to every one of libgeonames' towns (timed on fewer points, scaled).
//   places_bench [LOOKUPS]
#include "places/placeindex.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>
// glib's headers use Qt's keyword as a name.
#undef signals
#include <geonames.h>

using namespace vantorel::places;

int main(int argc, char** argv) {
    const int lookups = argc > 1 ? std::atoi(argv[1]) : 1000000;
    constexpr double kDegree = std::numbers::pi / 180.0;
    QRandomGenerator random(34);
    std::vector<std::pair<double, double>> points(static_cast<size_t>(lookups));
    for (auto& [latitude, longitude] : points) {
        latitude = std::asin(random.generateDouble() * 2 - 1) / kDegree;
        longitude = random.generateDouble() * 360 - 180;
    }

    QElapsedTimer timer;
    timer.start();
    const int towns = townCount();
    std::printf("index of %d towns built in %.1f ms\n", towns, timer.nsecsElapsed() / 1e6);

    double sum = 0;
    timer.restart();
    for (const auto& [latitude, longitude] : points)
        sum += nearestTown(latitude, longitude).km;
    const double indexMs = timer.nsecsElapsed() / 1e6;
    std::printf("%d nearest towns: %.0f ms (%.2f us each)\n", lookups, indexMs, indexMs * 1e3 / lookups);

    qsizetype zones = 0;
    timer.restart();
    for (const auto& [latitude, longitude] : points)
        zones += zoneAt(latitude, longitude).size();
    const double zoneMs = timer.nsecsElapsed() / 1e6;
    std::printf("%d zones: %.0f ms\n", lookups, zoneMs);

    nearestPlace(0, 0, "fr"); // the French catalogue, read once
    qsizetype names = 0;
    timer.restart();
    for (const auto& [latitude, longitude] : points)
        names += nearestPlace(latitude, longitude, "fr")->town.size();
    const double placeMs = timer.nsecsElapsed() / 1e6;
    std::printf("%d places with French names: %.0f ms\n", lookups, placeMs);

    // Brute force: the towns' positions from libgeonames, the haversine distance to each.
    std::vector<double> latitudes, longitudes, cosines;
    for (int i = 0, n = geonames_get_n_cities(); i < n; ++i) {
        GeonamesCity* city = geonames_get_city(i);
        latitudes.push_back(geonames_city_get_latitude(city) * kDegree);
        longitudes.push_back(geonames_city_get_longitude(city) * kDegree);
        cosines.push_back(std::cos(latitudes.back()));
        geonames_city_free(city);
    }
    const int bruteLookups = std::min(lookups, 2000);
    double bruteSum = 0, indexSum = 0;
    int disagreements = 0;
    timer.restart();
    for (int k = 0; k < bruteLookups; ++k) {
        const double p = points[k].first * kDegree, q = points[k].second * kDegree, cp = std::cos(p);
        double best = 2;
        for (size_t i = 0; i < latitudes.size(); ++i) {
            const double a = std::sin((latitudes[i] - p) / 2), b = std::sin((longitudes[i] - q) / 2);
            best = std::min(best, a * a + cosines[i] * cp * b * b);
        }
        const double km = 2 * 6371.0088 * std::asin(std::sqrt(best));
        bruteSum += km;
        indexSum += nearestTown(points[k].first, points[k].second).km;
        disagreements += std::abs(km - nearestTown(points[k].first, points[k].second).km) > 1e-6;
    }
    const double bruteMs = timer.nsecsElapsed() / 1e6;
    std::printf("brute force: %d lookups in %.0f ms, %.0f ms per 1,000,000 (%.0fx the index); "
                "%d disagreements\n",
                bruteLookups, bruteMs, bruteMs * 1e6 / bruteLookups, bruteMs * 1e6 / bruteLookups / indexMs,
                disagreements);
    std::printf("(checksums %.3f %lld %lld %.3f %.3f)\n", sum, static_cast<long long>(zones),
                static_cast<long long>(names), bruteSum, indexSum);
    return 0;
}
