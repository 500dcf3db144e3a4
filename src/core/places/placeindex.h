// SPDX-License-Identifier: GPL-3.0-or-later
// Places without a network: the town of 15,000 people or more nearest a position, with its region,
// country, ISO country code and IANA time zone, from the towns libgeonames ships, named in the
// user's language. The towns are indexed once, on first use, by a tree over their points on the
// unit sphere: distances are great-circle distances, right across the 180th meridian and at the poles.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace vantorel::places {

// Beyond this distance from every town the position is taken to be at sea: no town names it and it
// has no zone. The towns carry no coastline: a desert or an ice cap this far from any town reads the same.
inline constexpr double kAtSeaKm = 50.0;

struct Place {
    QString town;        // the nearest town (also given at sea, where it names no place)
    QString region;      // its region (state, province), may be empty
    QString country;     // its country
    QString countryCode; // ISO 3166-1 alpha-2, e.g. "IT"
    QString zone;        // IANA time zone, e.g. "Europe/Rome"; empty at sea
    double km = 0;       // great-circle distance to the town
    bool atSea = false;  // farther than kAtSeaKm from every town
};

// The nearest town in the program's language (namesLanguage()). No value for a position out of range
// (latitude beyond ±90°, longitude beyond ±180°, not a number) or when no town data is installed.
std::optional<Place> nearestPlace(double latitude, double longitude);
// The same with the names in `language` ("fr", "de_CH"...; empty: the towns' own English names).
std::optional<Place> nearestPlace(double latitude, double longitude, const QByteArray& language);

// The IANA zone of the nearest town; empty at sea (beyond kAtSeaKm), out of range or without data.
// Cheap: no names are looked up.
QString zoneAt(double latitude, double longitude);

// The language names are given in, from the environment as gettext reads it (LANGUAGE, then the
// first set of LC_ALL, LC_MESSAGES, LANG): "fr" when none is set or the locale is C.UTF-8 (the
// program speaks French), empty (English) for the plain C or POSIX locale, else the locale's
// language ("de_DE.UTF-8" gives "de_DE", looked up as de_DE then de). Read once.
QByteArray namesLanguage();
// The rule above on given values (for tests): `languageVariable` is LANGUAGE, `locale` the first set
// of LC_ALL, LC_MESSAGES and LANG.
QByteArray namesLanguageFor(const QByteArray& languageVariable, const QByteArray& locale);

// How many towns the index holds (0 without the towns' data).
int townCount();

// The town nearest a position as the index finds it: its position in libgeonames' list and the
// great-circle distance; -1 out of range or without data. For the benchmarks and the tests.
struct Nearest {
    int town = -1;
    double km = 0;
};
Nearest nearestTown(double latitude, double longitude);

// Great-circle distance in km between two positions in degrees (mean Earth radius).
double greatCircleKm(double latitude1, double longitude1, double latitude2, double longitude2);

} // namespace vantorel::places
