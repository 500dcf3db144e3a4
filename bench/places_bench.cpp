// SPDX-License-Identifier: GPL-3.0-or-later
// The place index against brute force: the index's first build, then 1,000,000 lookups at random
// points on the sphere (nearest town, zone, and the whole place with its French names), against the
// haversine distance to every one of libgeonames' towns (timed on fewer points, scaled).
//   places_bench [LOOKUPS]
#include "places/placeindex.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <vector>
// glib's headers use Qt's keyword as a name.
#undef signals
#include <geonames.h>

using namespace vantorel::places;

namespace {

// The processor time of this thread: the machine may be shared.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    const int lookups = argc > 1 ? std::atoi(argv[1]) : 1000000;
    constexpr double kDegree = std::numbers::pi / 180.0;
    QRandomGenerator random(34);
    std::vector<std::pair<double, double>> points(static_cast<size_t>(lookups));
    for (auto& [latitude, longitude] : points) {
        latitude = std::asin(random.generateDouble() * 2 - 1) / kDegree;
        longitude = random.generateDouble() * 360 - 180;
    }

    // Brute force: the towns' positions from libgeonames, the haversine distance to each.
    std::vector<double> latitudes, longitudes, cosines;
    for (int i = 0, n = geonames_get_n_cities(); i < n; ++i) {
        GeonamesCity* city = geonames_get_city(i);
        latitudes.push_back(geonames_city_get_latitude(city) * kDegree);
        longitudes.push_back(geonames_city_get_longitude(city) * kDegree);
        cosines.push_back(std::cos(latitudes.back()));
        geonames_city_free(city);
    }
    // Positions where photos are taken: within 20 km of a town.
    std::vector<std::pair<double, double>> nearTowns(points.size());
    for (auto& [latitude, longitude] : nearTowns) {
        const size_t town = random.bounded(static_cast<quint32>(latitudes.size()));
        latitude = std::clamp(latitudes[town] / kDegree + random.bounded(0.36) - 0.18, -90.0, 90.0);
        longitude = longitudes[town] / kDegree + random.bounded(0.36) - 0.18;
        longitude = longitude > 180 ? longitude - 360 : longitude < -180 ? longitude + 360 : longitude;
    }

    QElapsedTimer timer;
    timer.start();
    const double buildCpu = cpuMs();
    const int towns = townCount();
    std::printf("index of %d towns built in %.1f ms (%.1f ms of processor)\n", towns,
                timer.nsecsElapsed() / 1e6, cpuMs() - buildCpu);

    const auto timed = [&](const char* what, const auto& each,
                           const std::vector<std::pair<double, double>>& at) {
        timer.restart();
        const double cpu = cpuMs();
        double sum = 0;
        for (const auto& [latitude, longitude] : at)
            sum += each(latitude, longitude);
        const double ms = timer.nsecsElapsed() / 1e6, cpuTaken = cpuMs() - cpu;
        std::printf("%zu %s: %.0f ms (%.0f ms of processor, %.2f us each) [%g]\n", at.size(), what, ms,
                    cpuTaken, cpuTaken * 1e3 / double(at.size()), sum);
        return cpuTaken;
    };
    const auto town = [](double latitude, double longitude) { return nearestTown(latitude, longitude).km; };
    const double indexCpu = timed("nearest towns, anywhere on the sphere", town, points);
    timed("nearest towns, near towns", town, nearTowns);
    timed(
        "zones, anywhere",
        [](double latitude, double longitude) { return double(zoneAt(latitude, longitude).size()); }, points);
    nearestPlace(0, 0, "fr"); // the French catalogue, read once
    timed(
        "places with French names, near towns",
        [](double latitude, double longitude) {
            return double(nearestPlace(latitude, longitude, "fr")->town.size());
        },
        nearTowns);

    const int bruteLookups = std::min(lookups, 2000);
    double bruteSum = 0, indexSum = 0;
    int disagreements = 0;
    timer.restart();
    const double bruteCpu = cpuMs();
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
    const double bruteMs = cpuMs() - bruteCpu;
    std::printf(
        "brute force, anywhere: %d lookups in %.0f ms of processor, %.0f ms per %d (%.0fx the index); "
        "%d disagreements with the index [%g %g]\n",
        bruteLookups, bruteMs, bruteMs * lookups / bruteLookups, lookups,
        bruteMs * lookups / bruteLookups / indexCpu, disagreements, bruteSum, indexSum);
    return 0;
}
