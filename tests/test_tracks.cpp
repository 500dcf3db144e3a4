// SPDX-License-Identifier: GPL-3.0-or-later
// Placing photos on a GPS track: the track files, the photo's time, the correction of zone and
// clock, the position found, and the "#" copies written from it.
#include "doubles.h"
#include "fixtures.h"
#include "maps/trackmappage.h"
#include "metadata/imageproperties.h"
#include "metadata/phototime.h"
#include "tracks/clockerror.h"
#include "tracks/correlation.h"
#include "tracks/gpxreader.h"
#include "tracks/nmeareader.h"
#include "tracks/trackcopies.h"
#include "tracks/trackfiles.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace vantorel;
using namespace vantorel::test;

namespace {

constexpr qint64 kNoon = 1717243200000; // 2024-06-01T12:00:00Z

TrackFix fix(qint64 secondsFromNoon, double lat, double lon, int segment = 0,
             std::optional<double> ele = {}) {
    return {kNoon + secondsFromNoon * 1000, lat, lon, ele.value_or(0), ele.has_value(), segment};
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

// ---- Where the track was at a time ----

TEST(TrackPosition, InterpolatesWithinASegmentElseTakesTheNearestFix) {
    const std::vector<TrackFix> track = {
        fix(0, 48.0, 2.0, 0, 100), fix(60, 48.3, 2.6, 0, 130), // one segment
        fix(600, 49.0, 3.0, 1, 50),                            // a new segment after a break
        fix(4000, 50.0, 4.0, 1),                               // far after, same segment, no elevation
    };
    struct Case {
        const char* what;
        qint64 seconds;
        int maxGap, maxDistance;
        std::optional<std::array<double, 2>> position;
        std::optional<double> elevation;
    };
    const Case cases[] = {
        {"on a fix", 60, 1800, 1800, {{48.3, 2.6}}, 130},
        {"midpoint", 30, 1800, 1800, {{48.15, 2.3}}, 115},
        {"one third", 20, 1800, 1800, {{48.1, 2.2}}, 110},
        {"across a segment break: the nearer fix", 200, 1800, 1800, {{48.3, 2.6}}, 130},
        {"across a break, nearer the later fix", 500, 1800, 1800, {{49.0, 3.0}}, 50},
        {"gap longer than allowed: nearest", 4000 - 1000, 1800, 1800, {{50.0, 4.0}}, std::nullopt},
        {"gap longer than allowed, nearest too far", 2300, 1800, 1000, std::nullopt, std::nullopt},
        {"gap within a larger limit", 2300, 3400, 1800, {{49.5, 3.5}}, std::nullopt},
        {"before the track, within the distance", -1800, 1800, 1800, {{48.0, 2.0}}, 100},
        {"before the track, beyond the distance", -1801, 1800, 1800, std::nullopt, std::nullopt},
        {"after the track, within", 5000, 1800, 1800, {{50.0, 4.0}}, std::nullopt},
        {"distance 0 disables the nearest fix", 200, 1800, 0, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto p = positionAt(track, kNoon + c.seconds * 1000, c.maxGap, c.maxDistance);
        ASSERT_EQ(p.has_value(), c.position.has_value());
        if (!p) continue;
        EXPECT_NEAR(p->latitude, (*c.position)[0], 1e-9);
        EXPECT_NEAR(p->longitude, (*c.position)[1], 1e-9);
        EXPECT_EQ(p->hasElevation, c.elevation.has_value());
        if (c.elevation) {
            EXPECT_NEAR(p->elevation, *c.elevation, 1e-9);
        }
    }
}

TEST(TrackPosition, InterpolatesTheShortWayAcrossTheAntimeridian) {
    const struct {
        double from, to, fraction, expected;
    } cases[] = {
        {179.0, -179.0, 0.25, 179.5},  {179.0, -179.0, 0.75, -179.5}, {-179.5, 179.5, 0.5, 180.0},
        {-170.0, -172.0, 0.5, -171.0}, {10.0, -10.0, 0.5, 0.0},
    };
    for (const auto& c : cases) {
        const std::vector<TrackFix> track = {fix(0, 0, c.from), fix(100, 10, c.to)};
        const auto p = positionAt(track, kNoon + qint64(c.fraction * 100000), 1800, 1800);
        ASSERT_TRUE(p);
        EXPECT_NEAR(std::fmod(p->longitude - c.expected + 540, 360) - 180, 0, 1e-9) << c.from << " " << c.to;
        EXPECT_LE(std::abs(p->longitude), 180.0);
        EXPECT_NEAR(p->latitude, 10 * c.fraction, 1e-9);
    }
}

// ---- The photo's UTC time ----

TEST(PhotoUtc, OwnOffsetOrChosenZoneWithDaylightSavingClockErrorAndFractions) {
    const QTimeZone paris("Europe/Paris");
    ASSERT_TRUE(paris.isValid());
    struct Case {
        const char* what;
        PhotoTimeReading photo;
        QTimeZone zone;
        qint64 clockErrorMs;
        const char* utc;
    };
    PhotoTimeReading subSecond = cameraTime("2024:06:01 14:00:00", 2 * 3600);
    subSecond.cameraMs += 250;
    const Case cases[] = {
        {"photo offset wins over the zone", cameraTime("2024:06:01 14:00:00", -5 * 3600), paris, 0,
         "2024-06-01T19:00:00Z"},
        {"summer in Paris", cameraTime("2024:06:01 14:00:00"), paris, 0, "2024-06-01T12:00:00Z"},
        {"winter in Paris", cameraTime("2024:01:15 14:00:00"), paris, 0, "2024-01-15T13:00:00Z"},
        {"change day, before the change", cameraTime("2024:03:31 01:30:00"), paris, 0,
         "2024-03-31T00:30:00Z"},
        {"change day, after the change", cameraTime("2024:03:31 03:30:00"), paris, 0, "2024-03-31T01:30:00Z"},
        {"autumn change day, after", cameraTime("2024:10:27 04:00:00"), paris, 0, "2024-10-27T03:00:00Z"},
        {"fixed offset zone", cameraTime("2024:06:01 14:00:00"), zoneFromText("+05:30"), 0,
         "2024-06-01T08:30:00Z"},
        {"camera ahead by 1:02:03", cameraTime("2024:06:01 14:00:00", 0), paris, 3723000,
         "2024-06-01T12:57:57Z"},
        {"camera behind, across midnight", cameraTime("2024:06:01 23:59:50", 0), paris, -15000,
         "2024-06-02T00:00:05Z"},
        {"sub-seconds kept", subSecond, paris, 0, "2024-06-01T12:00:00.250Z"},
    };
    for (const Case& c : cases) {
        CorrelationSettings settings;
        settings.zone = c.zone;
        settings.clockErrorMs = c.clockErrorMs;
        const auto utc = photoUtcMs(c.photo, settings);
        ASSERT_TRUE(utc) << c.what;
        EXPECT_EQ(formatUtc(*utc), QString::fromLatin1(c.utc)) << c.what;
    }
    EXPECT_FALSE(photoUtcMs(PhotoTimeReading{}, CorrelationSettings{}));
}

TEST(PhotoUtc, ZonesAsUsersNameThem) {
    EXPECT_EQ(zoneFromText("+02:00").offsetFromUtc(QDateTime::currentDateTimeUtc()), 7200);
    EXPECT_EQ(zoneFromText("-0330").offsetFromUtc(QDateTime::currentDateTimeUtc()), -12600);
    EXPECT_EQ(zoneFromText("UTC").offsetFromUtc(QDateTime::currentDateTimeUtc()), 0);
    EXPECT_EQ(zoneFromText("Europe/Paris").id(), QByteArray("Europe/Paris"));
    EXPECT_EQ(zoneFromText("europe/paris").id(), QByteArray("Europe/Paris"));
    // The system's zone is always known, whatever list the system gives.
    EXPECT_TRUE(zoneFromText(QString::fromUtf8(QTimeZone::systemTimeZoneId())).isValid());
    EXPECT_EQ(zoneFromText("Etc/UTC").offsetFromUtc(QDateTime::currentDateTimeUtc()), 0);
    // Names the system would take for UTC are no zone.
    for (const char* bad : {"Mars/Olympus", "+25:00", "2", "", "Paris", "paris", "XYZ", "Pariss"})
        EXPECT_FALSE(zoneFromText(bad).isValid()) << bad;
}

TEST(PhotoUtc, TheRepeatedHourOfADaylightSavingChangeIsAmbiguousAndReadAsItsEarlierInstant) {
    CorrelationSettings paris;
    paris.zone = QTimeZone("Europe/Paris");
    CorrelationSettings offset = paris;
    offset.zone = zoneFromText("+01:00");
    const struct {
        const char* what;
        PhotoTimeReading photo;
        const CorrelationSettings& settings;
        const char* utc;
        bool ambiguous;
    } cases[] = {
        {"02:30 on the autumn change day: twice", cameraTime("2024:10:27 02:30:00"), paris,
         "2024-10-27T00:30:00Z", true},
        {"02:00 exactly", cameraTime("2024:10:27 02:00:00"), paris, "2024-10-27T00:00:00Z", true},
        {"01:59 once", cameraTime("2024:10:27 01:59:00"), paris, "2024-10-26T23:59:00Z", false},
        {"03:00 once", cameraTime("2024:10:27 03:00:00"), paris, "2024-10-27T02:00:00Z", false},
        {"the user's offset decides", cameraTime("2024:10:27 02:30:00"), offset, "2024-10-27T01:30:00Z",
         false},
        {"the photo's own offset decides", cameraTime("2024:10:27 02:30:00", 3600), paris,
         "2024-10-27T01:30:00Z", false},
        {"spring: the skipped hour, as before", cameraTime("2024:03:31 02:30:00"), paris,
         "2024-03-31T01:30:00Z", false},
    };
    for (const auto& c : cases) {
        bool ambiguous = !c.ambiguous;
        const auto utc = photoUtcMs(c.photo, c.settings, &ambiguous);
        ASSERT_TRUE(utc) << c.what;
        EXPECT_EQ(formatUtc(*utc), QString::fromLatin1(c.utc)) << c.what;
        EXPECT_EQ(ambiguous, c.ambiguous) << c.what;
        const Placement p = placePhoto(c.photo, {fix(0, 1, 2)}, c.settings);
        EXPECT_EQ(p.ambiguousTime, c.ambiguous) << c.what;
    }
    PhotoOnTrack row{"/x/a.jpg", cameraTime("2024:10:27 02:30:00"), {}};
    row.placement = placePhoto(row.time, {fix(0, 1, 2)}, paris);
    EXPECT_EQ(trackTableRow(row)[TrackUtcTime], "2024-10-27T00:30:00Z – heure ambiguë (changement d'heure)");
}

// ---- The clock error ----

TEST(ClockError, EachAcceptedFormWithSignAndFractions) {
    const struct {
        const char* text;
        std::optional<qint64> ms;
    } cases[] = {
        {"5", 5000},
        {"-5", -5000},
        {"+90", 90000},
        {"2.5", 2500},
        {"-0,25", -250},
        {"1:30", 90000},
        {"-1:30.5", -90500},
        {"+1:02:03", 3723000},
        {"-0:00:05.5", -5500},
        {"1 02:00:00", 93600000},
        {"-2 00:00:01", -172801000},
        {" + 1:00 ", 60000},
        {"100:00", 6000000}, // the leading unit is not bounded
        {"1:60", std::nullopt},
        {"1:61:00", std::nullopt},
        {"1 24:00:00", std::nullopt},
        {"1 2:00", std::nullopt},
        {"1::2", std::nullopt},
        {"1:2:3:4", std::nullopt},
        {"1.5:00", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"--5", std::nullopt},
        {"99999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseClockError(QString::fromUtf8(c.text)), c.ms) << c.text;
        if (c.ms) {
            EXPECT_EQ(parseClockError(formatClockError(*c.ms)), c.ms)
                << formatClockError(*c.ms).toStdString();
        }
    }
    EXPECT_EQ(formatClockError(3723000), "+1:02:03");
    EXPECT_EQ(formatClockError(-93600500), "-1 02:00:00.500");
}

TEST(ClockError, FromAPhotoOfTheGpsClock) {
    CorrelationSettings settings;
    settings.zone = QTimeZone("Europe/Paris");
    const struct {
        const char* what;
        PhotoTimeReading photo;
        QTime shown;
        bool shownInUtc;
        qint64 errorMs;
    } cases[] = {
        {"camera ahead, clock in local time", cameraTime("2024:06:01 10:01:05"), QTime(10, 0, 0), false,
         65000},
        {"camera behind", cameraTime("2024:06:01 10:00:00"), QTime(10, 0, 30, 500), false, -30500},
        {"clock in UTC", cameraTime("2024:06:01 10:00:10"), QTime(8, 0, 0), true, 10000},
        {"photo offset, clock in UTC", cameraTime("2024:06:01 10:00:10", 3600), QTime(9, 0, 0), true, 10000},
        {"across midnight", cameraTime("2024:06:02 00:00:30"), QTime(23, 59, 50), false, 40000},
        {"across midnight the other way", cameraTime("2024:06:01 23:59:50"), QTime(0, 0, 20), false, -30000},
        // A clock set before 1970 (a camera whose clock was reset): the day before is the photo's own.
        {"before 1970, across midnight", cameraTime("1969:12:31 00:00:10"), QTime(23, 59, 50), false, 20000},
        {"before 1970, clock in UTC", cameraTime("1969:12:31 00:00:10", 0), QTime(23, 59, 50), true, 20000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(clockErrorFromClockPhoto(c.photo, settings, c.shown, c.shownInUtc), c.errorMs) << c.what;
    EXPECT_FALSE(clockErrorFromClockPhoto(PhotoTimeReading{}, settings, QTime(10, 0), false));

    // The error found places the clock photo at the time its clock showed.
    PhotoTimeReading photo = cameraTime("2024:06:01 10:01:05");
    settings.clockErrorMs = *clockErrorFromClockPhoto(photo, settings, QTime(10, 0, 0), false);
    EXPECT_EQ(formatUtc(*photoUtcMs(photo, settings)), "2024-06-01T08:00:00Z");
}

// ---- Track files ----

QByteArray gpx11(const QByteArray& body) {
    return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"t\" "
           "xmlns=\"http://www.topografix.com/GPX/1/1\" "
           "xmlns:x=\"urn:example:ext\">\n" +
           body + "\n</gpx>\n";
}

TEST(TrackFiles, MergesSortsAndReadsEveryTimedPoint) {
    QTemporaryDir dir;
    // The later file first; times with offsets and fractions; points without time ignored; extensions
    // (even one named like a GPX element) skipped.
    const QString later = writeFile(
        dir, "later.gpx",
        gpx11(
            "<trk><name>b</name><trkseg>\n"
            "<trkpt lat=\"48.5\" lon=\"2.5\"><ele>12.5</ele><time>2024-06-01T14:10:00+02:00</time></trkpt>\n"
            "<trkpt lat=\"48.6\" lon=\"2.6\"><time>2024-06-01T12:20:00.5Z</time>"
            "<extensions><x:time>1999-01-01T00:00:00Z</x:time><x:ele>9</x:ele></extensions></trkpt>\n"
            "<trkpt lat=\"48.7\" lon=\"2.7\"><ele>3</ele></trkpt>\n"
            "</trkseg></trk>"));
    const QString earlier = writeFile(
        dir, "earlier.gpx",
        "<?xml version=\"1.0\"?>\n<gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\">\n"
        "<wpt lat=\"-10\" lon=\"-20\"><time>2024-06-01T11:00:00Z</time><name>w</name></wpt>\n"
        "<wpt lat=\"-11\" lon=\"-21\"><name>untimed</name></wpt>\n"
        "<rte><rtept lat=\"1\" lon=\"1\"><time>2024-06-01T11:30:00Z</time></rtept></rte>\n"
        "<trk><trkseg><trkpt lat=\"47\" lon=\"1\"><time>2024-06-01T07:05:00-05:00</time></trkpt></trkseg>"
        "<trkseg><trkpt lat=\"47.5\" lon=\"1.5\"><time>2024-06-01T12:15:00Z</time></trkpt></trkseg></trk>\n"
        "</gpx>\n");
    const TrackReading r = loadTracks({later, earlier});
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    QStringList got;
    for (const TrackFix& f : r.fixes)
        got << QStringLiteral("%1 %2,%3 %4")
                   .arg(formatUtc(f.utcMs))
                   .arg(f.latitude)
                   .arg(f.longitude)
                   .arg(f.hasElevation ? QString::number(f.elevation) : QStringLiteral("-"));
    EXPECT_EQ(got, QStringList({"2024-06-01T11:00:00Z -10,-20 -", "2024-06-01T11:30:00Z 1,1 -",
                                "2024-06-01T12:05:00Z 47,1 -", "2024-06-01T12:10:00Z 48.5,2.5 12.5",
                                "2024-06-01T12:15:00Z 47.5,1.5 -", "2024-06-01T12:20:00.500Z 48.6,2.6 -"}));
    // Every segment, waypoint and route of either file is its own: nothing is interpolated between them.
    QSet<int> segments;
    for (const TrackFix& f : r.fixes)
        segments << f.segment;
    EXPECT_EQ(segments.size(), 5);
    EXPECT_EQ(r.fixes[3].segment, r.fixes[5].segment);
}

TEST(TrackFiles, BadFilesAreNamedWithTheirLine) {
    QTemporaryDir dir;
    const struct {
        const char* name;
        QByteArray bytes;
        const char* message;
    } cases[] = {
        {"cut.gpx",
         "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\">\n<trk><trkseg>\n<trkpt lat=\"1\" lon=\"2\">\n<time>",
         "ligne 5 : fichier XML mal formé"},
        {"unclosed.gpx", gpx11("<trk><trkseg>\n\n<trkpt lat=\"1\" lon=\"2\"></trk>"),
         "ligne 5 : fichier XML mal formé"},
        {"other.gpx", "<?xml version=\"1.0\"?>\n<kml><gpx/></kml>", "ligne 2 : ce n'est pas un fichier GPX"},
        {"lat.gpx", gpx11("<trk><trkseg>\n<trkpt lat=\"91\" lon=\"2\"/></trkseg></trk>"),
         "ligne 4 : latitude ou longitude illisible"},
        {"time.gpx", gpx11("<wpt lat=\"1\" lon=\"2\">\n<time>hier</time></wpt>"),
         "ligne 4 : heure illisible"},
        {"empty.gpx", gpx11("<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk>"),
         "aucun point horodaté"},
    };
    for (const auto& c : cases) {
        const QString path = writeFile(dir, c.name, c.bytes);
        const TrackReading r = loadTracks({path});
        EXPECT_FALSE(r.ok()) << c.name;
        EXPECT_TRUE(r.fixes.empty()) << c.name;
        if (QString(c.message) != "aucun point horodaté") {
            EXPECT_TRUE(r.error.contains(path)) << r.error.toStdString();
        }
        EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.message))) << r.error.toStdString();
    }
    const TrackReading missing = loadTracks({dir.filePath("nothing.gpx")});
    EXPECT_TRUE(missing.error.contains("nothing.gpx")) << missing.error.toStdString();
}

TEST(TrackFiles, IsoTimes) {
    const struct {
        const char* text;
        const char* utc;
    } cases[] = {
        {"2024-06-01T12:00:00Z", "2024-06-01T12:00:00Z"},
        {"2024-06-01T12:00:00.125Z", "2024-06-01T12:00:00.125Z"},
        {"2024-06-01T14:00:00+02:00", "2024-06-01T12:00:00Z"},
        {"2024-06-01T00:30:00-0100", "2024-06-01T01:30:00Z"},
        {"2024-06-01T12:00:00", "2024-06-01T12:00:00Z"},
        {" 2024-06-01T12:00:00.5Z\n", "2024-06-01T12:00:00.500Z"},
        {"2024-06-31T12:00:00Z", nullptr},
        {"2024-06-01 12:00", nullptr},
        {"2024-06-01T12:00:00+2", nullptr},
        {"2024-06-01T12:00:00Zx", nullptr},
    };
    for (const auto& c : cases) {
        const auto t = parseIsoTime(QString::fromLatin1(c.text));
        EXPECT_EQ(t.has_value(), c.utc != nullptr) << c.text;
        if (t && c.utc) {
            EXPECT_EQ(formatUtc(*t), QString::fromLatin1(c.utc)) << c.text;
        }
    }
}

TEST(TrackFiles, NmeaThroughGpsbabel) {
    if (QStandardPaths::findExecutable("gpsbabel").isEmpty()) GTEST_SKIP() << "gpsbabel is not installed";
    QTemporaryDir dir;
    const auto sentence = [](const QByteArray& body) {
        quint8 sum = 0;
        for (char c : body)
            sum ^= quint8(c);
        return "$" + body + "*" + QByteArray::number(sum, 16).rightJustified(2, '0').toUpper() + "\r\n";
    };
    const QString path =
        writeFile(dir, "day.nmea",
                  sentence("GPRMC,120000,A,4807.038,N,01131.000,E,000.0,000.0,010624,,,A") +
                      sentence("GPRMC,120100,A,4808.038,N,01132.000,E,000.0,000.0,010624,,,A"));
    const TrackReading r = loadTracks({path});
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    ASSERT_EQ(r.fixes.size(), 2u);
    EXPECT_EQ(formatUtc(r.fixes[0].utcMs), "2024-06-01T12:00:00Z");
    const auto p = positionAt(r.fixes, r.fixes[0].utcMs + 30000, 1800, 1800);
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->latitude, 48 + 7.538 / 60, 1e-6);
    EXPECT_NEAR(p->longitude, 11 + 31.5 / 60, 1e-6);
}

// ---- Hostile and unusual track files ----

// Metres between two points (equirectangular: exact enough at these distances).
double metresBetween(double lat1, double lon1, double lat2, double lon2) {
    const double k = 6371000 * M_PI / 180;
    return std::hypot((lat2 - lat1) * k, (lon2 - lon1) * k * std::cos(lat1 * M_PI / 180));
}

TEST(TrackFilesHostile, RefusedWithTheirLineQuicklyAndWithoutMemory) {
    QTemporaryDir dir;
    QByteArray flood = "<trkpt lat=\"1\" lon=\"2\"";
    for (int i = 0; i < 100000; ++i)
        flood += " a" + QByteArray::number(i) + "=\"1\"";
    flood += "><time>2024-06-01T12:00:00Z</time></trkpt>";
    QByteArray entities = "<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [<!ENTITY a \"" + QByteArray(4000, 'x') +
                          "\">]>\n<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt "
                          "lat=\"1\" lon=\"2\"><name>";
    for (int i = 0; i < 400000; ++i)
        entities += "&a;";
    entities += "</name><time>2024-06-01T12:00:00Z</time></wpt></gpx>";
    const struct {
        const char* name;
        QByteArray bytes;
        const char* message;
    } cases[] = {
        {"entities.gpx", entities, "ligne 2 : déclaration DOCTYPE refusée"},
        {"doctype-late.gpx", gpx11("<wpt lat=\"1\" lon=\"2\"/>\n<!DOCTYPE x>"),
         "déclaration DOCTYPE refusée"},
        {"flood.gpx", gpx11("<trk><trkseg>\n" + flood + "</trkseg></trk>"), "trop d'attributs"},
        {"long-tag.gpx", gpx11("<trk x:a=\"" + QByteArray(200000, 'a') + "\"/>"), "balise trop longue"},
        {"long-text.gpx", gpx11("<desc>" + QByteArray(3 << 20, 'a') + "</desc>"), "texte trop long"},
        {"long-comment.gpx", gpx11("<!--" + QByteArray(3 << 20, 'c') + "-->"), "commentaire trop long"},
        {"long-time.gpx",
         gpx11("<wpt lat=\"1\" lon=\"2\">\n<time>2024-06-01T12:00:00Z" + QByteArray(5000, ' ') +
               "</time></wpt>"),
         "ligne 4 : valeur trop longue"},
        {"year.gpx", gpx11("<wpt lat=\"1\" lon=\"2\">\n<time>abcd-05-30T12:00:00Z</time></wpt>"),
         "ligne 4 : heure illisible"},
        {"arabic-year.gpx",
         gpx11("<wpt lat=\"1\" "
               "lon=\"2\">\n<time>\xd9\xa2\xd9\xa0\xd9\xa2\xd9\xa4-05-30T12:00:00Z</time></wpt>"),
         "ligne 4 : heure illisible"},
        {"ele.gpx",
         gpx11("<wpt lat=\"1\" lon=\"2\">\n<ele>1e308</ele><time>2024-06-01T12:00:00Z</time></wpt>"),
         "ligne 4 : altitude hors limites"},
        {"deep.gpx",
         gpx11("<wpt lat=\"1\" lon=\"2\">\n<ele>-100001</ele><time>2024-06-01T12:00:00Z</time></wpt>"),
         "ligne 4 : altitude hors limites"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = writeFile(dir, c.name, c.bytes);
        QElapsedTimer clock;
        clock.start();
        const TrackReading r = loadTracks({path});
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.fixes.empty());
        EXPECT_TRUE(r.error.contains(path)) << r.error.toStdString();
        EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.message))) << r.error.toStdString();
    }
    // Elevations up to 100 km either way are read.
    const QString high =
        writeFile(dir, "high.gpx",
                  gpx11("<wpt lat=\"1\" lon=\"2\"><ele>-99999.5</ele><time>2024-06-01T12:00:00Z"
                        "</time></wpt>"));
    const TrackReading r = loadTracks({high});
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.fixes[0].elevation, -99999.5);
}

TEST(TrackFilesHostile, SparseFileWithAHugeApparentSize) {
    QTemporaryDir dir;
    for (const bool dataFirst : {true, false}) {
        const QString path = dir.filePath(dataFirst ? "sparse-head.gpx" : "sparse-tail.gpx");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray data = gpx11("<wpt lat=\"1\" lon=\"2\"><time>2024-06-01T12:00:00Z</time></wpt>");
        if (dataFirst) file.write(data);
        ASSERT_TRUE(file.resize(200LL << 30)); // 200 GiB of holes
        if (!dataFirst) {
            file.seek(file.size());
            file.write(data);
        }
        file.close();
        QElapsedTimer clock;
        clock.start();
        const TrackReading r = loadTracks({path});
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error.contains(path)) << r.error.toStdString();
        EXPECT_TRUE(r.fixes.empty());
    }
}

TEST(TrackFiles, Utf16LateRootEmptyFilesAndFilesWithoutPoints) {
    QTemporaryDir dir;
    const QByteArray body = gpx11("<wpt lat=\"1.5\" lon=\"2.5\"><time>2024-06-01T12:00:00Z</time></wpt>");
    QByteArray utf16le = "\xFF\xFE";
    QByteArray utf16be = "\xFE\xFF";
    const QString text = QString::fromUtf8(body).replace("<?xml version=\"1.0\"?>",
                                                         "<?xml version=\"1.0\" encoding=\"UTF-16\"?>");
    for (QChar c : text) {
        utf16le += char(c.unicode() & 0xFF);
        utf16le += char(c.unicode() >> 8);
        utf16be += char(c.unicode() >> 8);
        utf16be += char(c.unicode() & 0xFF);
    }
    const QByteArray late =
        "<?xml version=\"1.0\"?>\n<!--" + QByteArray(6000, 'c') + "-->\n" + body.mid(body.indexOf("<gpx"));
    // Any name: the content tells GPX.
    for (const auto& [name, bytes] :
         {std::pair{"le.txt", utf16le}, std::pair{"be.kml", utf16be}, std::pair{"le.gpx", utf16le},
          std::pair{"late.xml", late}, std::pair{"late.kml", late}}) {
        const TrackReading r = loadTracks({writeFile(dir, name, bytes)});
        ASSERT_TRUE(r.ok()) << name << " " << r.error.toStdString();
        ASSERT_EQ(r.fixes.size(), 1u) << name;
        EXPECT_EQ(r.fixes[0].latitude, 1.5);
    }

    const QString good = writeFile(dir, "good.gpx", body);
    const QString empty = writeFile(dir, "empty.gpx", "");
    const QString blank = writeFile(dir, "blank.gpx", "\n  \n");
    const QString untimed = writeFile(dir, "untimed.gpx", gpx11("<wpt lat=\"1\" lon=\"2\"/>"));
    const TrackReading r = loadTracks({empty, good, untimed, blank});
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.fixes.size(), 1u);
    EXPECT_EQ(r.warnings,
              QStringList({QStringLiteral("La trace « %1 » est vide.").arg(empty),
                           QStringLiteral("La trace « %1 » ne contient aucun point horodaté.").arg(untimed),
                           QStringLiteral("La trace « %1 » est vide.").arg(blank)}));
    const TrackReading none = loadTracks({empty});
    EXPECT_FALSE(none.ok());
    EXPECT_EQ(none.error, kNoTimedPoint);
    EXPECT_EQ(none.warnings, QStringList{QStringLiteral("La trace « %1 » est vide.").arg(empty)});
}

QByteArray nmeaSentence(const QByteArray& body) {
    quint8 sum = 0;
    for (char c : body)
        sum ^= quint8(c);
    return "$" + body + "*" + QByteArray::number(sum, 16).rightJustified(2, '0').toUpper() + "\r\n";
}

TEST(TrackFiles, NmeaRmcAndGgaOfOneSecondMakeOneFixInEitherOrder) {
    const auto rmc = [](const char* t, const char* lat, const char* date = "010624",
                        const char* status = "A") {
        return nmeaSentence(QByteArray("GPRMC,") + t + "," + status + "," + lat +
                            ",N,01131.000,E,000.0,000.0," + date + ",,,A");
    };
    const auto gga = [](const char* t, const char* lat, const char* ele, const char* quality = "1") {
        return nmeaSentence(QByteArray("GNGGA,") + t + "," + lat + ",N,01131.000,E," + quality + ",08,0.9," +
                            ele + ",M,46.9,M,,");
    };
    const QByteArray rmcFirst = rmc("235950", "4807.038") + gga("235950", "4807.038", "100.0") +
                                rmc("000000", "4808.038", "020624") + gga("000000", "4808.038", "110.0") +
                                "$GPRMC,junk*00\r\n" + rmc("000010", "4809.038", "020624", "V") +
                                gga("000020", "4809.038", "120.0", "0");
    const QByteArray ggaFirst = gga("120000.5", "4807.038", "100.0") + rmc("120000.5", "4807.038") +
                                gga("120010.5", "4808.038", "110.0") + rmc("120010.5", "4808.038");
    // Before any RMC: the GGA takes the date of the first, the day before when later in the day.
    const QByteArray ggaOnlyFirst = gga("235959", "4806.038", "90.0") + rmc("000001", "4807.038", "020624");
    const struct {
        const char* what;
        QByteArray bytes;
        QStringList fixes;
    } cases[] = {
        {"RMC first, across midnight, void and bad sentences left out",
         rmcFirst,
         {"2024-06-01T23:59:50Z 48.117300 100", "2024-06-02T00:00:00Z 48.133967 110"}},
        {"GGA first, with fractions",
         ggaFirst,
         {"2024-06-01T12:00:00.500Z 48.117300 100", "2024-06-01T12:00:10.500Z 48.133967 110"}},
        {"GGA before the first date",
         ggaOnlyFirst,
         {"2024-06-01T23:59:59Z 48.100633 90", "2024-06-02T00:00:01Z 48.117300 -"}},
    };
    for (const auto& c : cases) {
        QByteArray bytes = c.bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        const TrackReading r = readNmea(buffer, 3);
        QStringList got;
        for (const TrackFix& f : r.fixes) {
            got << QStringLiteral("%1 %2 %3")
                       .arg(formatUtc(f.utcMs))
                       .arg(f.latitude, 0, 'f', 6)
                       .arg(f.hasElevation ? QString::number(f.elevation) : QStringLiteral("-"));
            EXPECT_EQ(f.segment, 3);
        }
        EXPECT_EQ(got, c.fixes) << c.what;
    }
}

// A track that turns, written as GPX and as each format a logger gives, read back through the
// same path: the positions between fixes agree.
struct TurningTrack {
    static constexpr int kPoints = 30;
    // Coordinates on the 0.001' grid of NMEA and IGC, so that every format can hold them exactly.
    static double lat(int i) { return 45 + std::round((0.01 * i + 0.004 * std::sin(i)) * 60000) / 60000; }
    static double lon(int i) {
        return 6 + std::round((0.006 * std::cos(i * 0.7) + 0.002 * i) * 60000) / 60000;
    }
    static qint64 ms(int i) { return kNoon + i * 10000LL; }
    static QString iso(int i) { return formatUtc(ms(i)); }
    // `pattern` for every point, with %1 its latitude, %2 its longitude and %3 its time.
    static QByteArray each(const char* pattern) {
        QByteArray b;
        for (int i = 0; i < kPoints; ++i)
            b += QString::fromLatin1(pattern)
                     .replace("%1", QString::number(lat(i), 'f', 9))
                     .replace("%2", QString::number(lon(i), 'f', 9))
                     .replace("%3", iso(i))
                     .toUtf8();
        return b;
    }

    static QByteArray gpx() {
        return gpx11("<trk><trkseg>\n" + each("<trkpt lat=\"%1\" lon=\"%2\"><time>%3</time></trkpt>\n") +
                     "</trkseg></trk>");
    }
    static QByteArray kmlPlacemarks() {
        return "<?xml version=\"1.0\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n" +
               each("<Placemark><TimeStamp><when>%3</when></TimeStamp><Point><coordinates>%2,%1"
                    "</coordinates></Point></Placemark>\n") +
               "</Document></kml>\n";
    }
    static QByteArray kmlTrack() {
        const QByteArray when = each("<when>%3</when>"), coord = each("<gx:coord>%2 %1 0</gx:coord>");
        return "<?xml version=\"1.0\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
               "xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document><Placemark><gx:Track>" +
               when + coord + "</gx:Track></Placemark></Document></kml>\n";
    }
    static QByteArray tcx() {
        QByteArray b = "<?xml version=\"1.0\"?>\n<TrainingCenterDatabase "
                       "xmlns=\"http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2\"><Activities>"
                       "<Activity Sport=\"Other\"><Id>" +
                       iso(0).toUtf8() + "</Id><Lap StartTime=\"" + iso(0).toUtf8() + "\"><Track>\n";
        return b +
               each("<Trackpoint><Time>%3</Time><Position><LatitudeDegrees>%1</LatitudeDegrees>"
                    "<LongitudeDegrees>%2</LongitudeDegrees></Position></Trackpoint>\n") +
               "</Track></Lap></Activity></Activities></TrainingCenterDatabase>\n";
    }
    static QByteArray minutes(double degrees, int width) {
        const qint64 thousandths = std::llround(degrees * 60000);
        return QByteArray::number(thousandths / 60000).rightJustified(width, '0') +
               QByteArray::number(thousandths % 60000).rightJustified(5, '0');
    }
    static QByteArray igc() {
        QByteArray b = "AXXX001\r\nHFDTE010624\r\n";
        for (int i = 0; i < kPoints; ++i)
            b += "B" + QDateTime::fromMSecsSinceEpoch(ms(i), QTimeZone::utc()).toString("HHmmss").toLatin1() +
                 minutes(lat(i), 2) + "N" + minutes(lon(i), 3) + "EA0010000100\r\n";
        return b;
    }
    static QByteArray nmea() {
        QByteArray b;
        for (int i = 0; i < kPoints; ++i) {
            const QByteArray t =
                QDateTime::fromMSecsSinceEpoch(ms(i), QTimeZone::utc()).toString("HHmmss").toLatin1();
            const auto ddmm = [](double d, int width) {
                const qint64 k = std::llround(d * 60000);
                return QByteArray::number(k / 60000).rightJustified(width, '0') +
                       QByteArray::number(double(k % 60000) / 1000, 'f', 3).rightJustified(6, '0');
            };
            b += nmeaSentence("GPRMC," + t + ",A," + ddmm(lat(i), 2) + ",N," + ddmm(lon(i), 3) +
                              ",E,000.0,000.0,010624,,,A");
            b += nmeaSentence("GPGGA," + t + "," + ddmm(lat(i), 2) + ",N," + ddmm(lon(i), 3) +
                              ",E,1,08,0.9,100.0,M,46.9,M,,");
        }
        return b;
    }
};

TEST(TrackFiles, EachFormatPlacesAsTheSameTrackInGpx) {
    QTemporaryDir dir;
    const TrackReading reference = loadTracks({writeFile(dir, "turning.gpx", TurningTrack::gpx())});
    ASSERT_TRUE(reference.ok());
    const bool gpsbabel = !QStandardPaths::findExecutable("gpsbabel").isEmpty();
    const struct {
        const char* name;
        QByteArray bytes;
        bool converted;
        double tolerance; // metres
    } formats[] = {
        {"turning.nmea", TurningTrack::nmea(), false, 0.001 / 60 * 111320},
        {"placemarks.kml", TurningTrack::kmlPlacemarks(), true, 1},
        {"gxtrack.kml", TurningTrack::kmlTrack(), true, 1},
        {"turning.tcx", TurningTrack::tcx(), true, 1},
        {"turning.igc", TurningTrack::igc(), true, 0.001 / 60 * 111320},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        if (f.converted && !gpsbabel) continue;
        const TrackReading r = loadTracks({writeFile(dir, f.name, f.bytes)});
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        // gpsbabel adds a lap's start to a TCX: a waypoint on the first point.
        ASSERT_GE(r.fixes.size(), size_t(TurningTrack::kPoints));
        double worst = 0;
        for (qint64 t = TurningTrack::ms(0); t <= TurningTrack::ms(TurningTrack::kPoints - 1); t += 1700) {
            const auto want = positionAt(reference.fixes, t, 1800, 1800);
            const auto got = positionAt(r.fixes, t, 1800, 1800);
            ASSERT_TRUE(want && got);
            worst = std::max(worst,
                             metresBetween(want->latitude, want->longitude, got->latitude, got->longitude));
        }
        EXPECT_LE(worst, f.tolerance);
    }
    if (!gpsbabel) GTEST_SKIP() << "gpsbabel is not installed: NMEA alone checked";
}

// A gpsbabel of the test's own, first on the PATH.
struct FakeGpsbabel {
    QTemporaryDir dir;
    QByteArray oldPath = qgetenv("PATH");
    explicit FakeGpsbabel(const QByteArray& script) {
        QFile file(dir.filePath("gpsbabel"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + script + "\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        file.close();
        qputenv("PATH", QFile::encodeName(dir.path()) + ":" + oldPath);
    }
    ~FakeGpsbabel() { qputenv("PATH", oldPath); }
};

TEST(TrackFilesHostile, GpsbabelReadsTheOpenedFileAndIsBoundInTimeAndOutput) {
    QTemporaryDir dir;
    const QString track = writeFile(dir, "day.igc", "B-record of our own\n");
    {
        // The file is given as the descriptor we opened (never by its name, which anyone may swap).
        FakeGpsbabel fake(
            "case \"$7\" in /dev/fd/*) grep -q 'of our own' \"$7\" || exit 8;; *) exit 9;; esac\n"
            "echo '" +
            gpx11("<wpt lat=\"1\" lon=\"2\"><time>2024-06-01T12:00:00Z</time></wpt>") + "'");
        const TrackReading r = loadTracks({track});
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_EQ(r.fixes.size(), 1u);
    }
    {
        FakeGpsbabel fake("exec sleep 60");
        QElapsedTimer clock;
        clock.start();
        const TrackReading r = loadTracks({track}, nullptr, {1, 1 << 20});
        EXPECT_LT(clock.elapsed(), 4000);
        EXPECT_EQ(r.error,
                  QStringLiteral("« %1 » : gpsbabel n'a pas fini de lire cette trace en 1 s : lecture "
                                 "abandonnée.")
                      .arg(track));
        // Cancelled by the user while it hangs.
        clock.restart();
        int calls = 0;
        const TrackReading cancelled = loadTracksWithProgress({track}, [&](qint64, qint64 total) {
            EXPECT_EQ(total, QFileInfo(track).size());
            return ++calls < 3;
        });
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_TRUE(cancelled.cancelled);
        EXPECT_TRUE(cancelled.fixes.empty());
    }
    {
        FakeGpsbabel fake("exec yes '<wpt lat=\"1\" lon=\"2\"/>'");
        const TrackReading r = loadTracks({track}, nullptr, {30, 1 << 20});
        EXPECT_EQ(r.error, QStringLiteral("« %1 » : la trace convertie par gpsbabel dépasse 1 Mo : lecture "
                                          "abandonnée.")
                               .arg(track));
    }
}

TEST(TrackFilesHostile, ReadingOnAThreadReportsProgressAndCancels) {
    QTemporaryDir dir;
    QByteArray points;
    for (int i = 0; i < 200000; ++i)
        points += "<trkpt lat=\"45\" lon=\"6\"><time>" + formatUtc(kNoon + i * 1000LL).toUtf8() +
                  "</time></trkpt>\n";
    const QString big = writeFile(dir, "big.gpx", gpx11("<trk><trkseg>" + points + "</trkseg></trk>"));
    QList<qint64> seen;
    const TrackReading whole = loadTracksWithProgress({big}, [&](qint64 done, qint64) {
        seen << done;
        return true;
    });
    ASSERT_TRUE(whole.ok());
    EXPECT_EQ(whole.fixes.size(), 200000u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    const TrackReading cancelled = loadTracksWithProgress({big}, [](qint64, qint64) { return false; });
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_EQ(cancelled.error, kTracksCancelled);
    EXPECT_TRUE(cancelled.fixes.empty());
}

// ---- The photo's time items ----

TEST(PhotoTime, SourcesInOrderWithFractionsAndOffsets) {
    QTemporaryDir dir;
    const struct {
        const char* name;
        QVector<PropertyItem> items;
        PhotoTimeSource source;
        const char* camera;
        std::optional<int> offset;
    } cases[] = {
        {"original.jpg",
         {asciiItem(0x9003, "2024:06:01 14:00:00"), asciiItem(0x9291, "25"), asciiItem(0x9011, "+02:00"),
          asciiItem(0x9004, "2020:01:01 00:00:00"), asciiItem(0x0132, "2021:01:01 00:00:00")},
         PhotoTimeSource::Original,
         "2024-06-01 14:00:00.250",
         7200},
        {"offset-time.jpg",
         {asciiItem(0x9003, "2024:06:01 14:00:00"), asciiItem(0x9010, "-05:30")},
         PhotoTimeSource::Original,
         "2024-06-01 14:00:00",
         -19800},
        {"digitized.jpg",
         {asciiItem(0x9003, "0000:00:00 00:00:00"), asciiItem(0x9004, "2024:06:01 14:00:01"),
          asciiItem(0x9292, "5")},
         PhotoTimeSource::Digitized,
         "2024-06-01 14:00:01.500",
         std::nullopt},
        {"modified.jpg",
         {asciiItem(0x0132, "2024:06:01 14:00:02")},
         PhotoTimeSource::Modified,
         "2024-06-01 14:00:02",
         std::nullopt},
        {"none.jpg",
         {asciiItem(0x0132, "    :  :     :  :  ")},
         PhotoTimeSource::None,
         nullptr,
         std::nullopt},
    };
    for (const auto& c : cases) {
        const PhotoTimeReading r = ReadPhotoTime(makeJpeg(dir.path(), c.name, c.items));
        EXPECT_TRUE(r.readable) << c.name;
        EXPECT_EQ(r.source, c.source) << c.name;
        if (c.camera) {
            EXPECT_EQ(formatCameraTime(r.cameraMs), QString::fromLatin1(c.camera)) << c.name;
        }
        EXPECT_EQ(r.offsetSeconds, c.offset) << c.name;
        EXPECT_FALSE(r.geotagged);
    }
    const PhotoTimeReading missing = ReadPhotoTime(dir.filePath("absent.jpg"));
    EXPECT_FALSE(missing.readable);
    EXPECT_EQ(missing.readError, FileOpenError::Missing);
}

// ---- The copies ----

TEST(TrackCopies, WritesPositionAltitudeAndTimeStampsAndSkipsWithReasons) {
    QTemporaryDir dir;
    const QString placed = makeJpeg(dir.path(), "placed.jpg",
                                    {asciiItem(0x9003, "2024:06:01 14:00:30"), asciiItem(0x9011, "+02:00")});
    const QString versioned = makeJpeg(dir.path(), "versioned.jpg",
                                       {asciiItem(0x9003, "2024:06:01 14:00:15"),
                                        byteItem(GpsVer, {2, 2, 0, 0}), asciiItem(0x9011, "+02:00")});
    const QString tagged = makeJpeg(dir.path(), "tagged.jpg",
                                    gpsItems("N", {{1, 1}, {0, 1}, {0, 1}}, "E", {{1, 1}, {0, 1}, {0, 1}}) +
                                        QVector<PropertyItem>{asciiItem(0x9003, "2024:06:01 14:00:30")});
    const QString undated = makeJpeg(dir.path(), "undated.jpg");
    const QString outside = makeJpeg(dir.path(), "outside.jpg", {asciiItem(0x9003, "2024:06:01 18:00:00")});
    const QByteArray sourceBytes = fileBytes(placed);

    const std::vector<TrackFix> track = {fix(0, -33.5, -70.5, 0, -10), fix(60, -33.6, -70.7, 0, -20)};
    CorrelationSettings settings;
    settings.zone = QTimeZone("Europe/Paris");
    QVector<PhotoOnTrack> photos = readPhotosForTrack({placed, versioned, tagged, undated, outside});
    placePhotos(photos, track, settings);
    QList<int> steps;
    const TrackCopyRun run = writeTrackCopies(photos, [&](int done) {
        steps << done;
        return true;
    });
    ASSERT_FALSE(steps.isEmpty());
    EXPECT_EQ(steps.front(), 0);
    EXPECT_EQ(steps.back(), 5);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_EQ(run.written, QStringList({dir.filePath("#placed.jpg"), dir.filePath("#versioned.jpg")}));
    EXPECT_TRUE(run.failures.isEmpty());
    EXPECT_EQ(trackCopySummary(run),
              "2 copies écrites.\n3 photos ignorées : 1 déjà géocodée, 1 pas de date de prise "
              "de vue, 1 hors de la trace.");
    EXPECT_EQ(fileBytes(placed), sourceBytes);
    EXPECT_FALSE(QFile::exists(dir.filePath("#tagged.jpg")));

    ImageProperties copy;
    ASSERT_TRUE(copy.open(dir.filePath("#placed.jpg")));
    const auto value = [&](quint32 id) { return copy.item(id).value_or(PropertyItem{}); };
    EXPECT_EQ(value(GpsLatitudeRef).text(), "S");
    EXPECT_EQ(value(GpsLongitudeRef).text(), "W");
    // Halfway: 33°33' S, 70°36' W, 15 m below sea level, at 12:00:30 UTC.
    EXPECT_EQ(value(GpsLatitude).value,
              rationalItem(GpsLatitude, {{33, 1}, {33000000, 1000000}, {0, 1}}).value);
    EXPECT_EQ(value(GpsLongitude).value,
              rationalItem(GpsLongitude, {{70, 1}, {36000000, 1000000}, {0, 1}}).value);
    EXPECT_EQ(value(GpsAltitudeRef).value, QByteArray(1, '\1'));
    EXPECT_EQ(value(GpsAltitude).value, rationalItem(GpsAltitude, {{15000, 1000}}).value);
    EXPECT_EQ(value(GpsTimeStamp).value, rationalItem(GpsTimeStamp, {{12, 1}, {0, 1}, {30000, 1000}}).value);
    EXPECT_EQ(value(GpsDateStamp).text(), "2024:06:01");
    EXPECT_EQ(value(GpsVer).value, QByteArray("\2\3\0\0", 4));
    EXPECT_EQ(value(0x9003).text(), "2024:06:01 14:00:30");

    ImageProperties kept;
    ASSERT_TRUE(kept.open(dir.filePath("#versioned.jpg")));
    EXPECT_EQ(kept.item(GpsVer).value_or(PropertyItem{}).value, QByteArray("\2\2\0\0", 4));

    // Replacing: the geotagged photo is placed too; cancelling stops before the next photo.
    settings.replace = true;
    placePhotos(photos, track, settings);
    EXPECT_EQ(photos[2].placement.status, PlacementStatus::Placed);
    const TrackCopyRun cancelled = writeTrackCopies(photos, [](int done) { return done < 1; }, 1, {true, {}});
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_EQ(cancelled.written.size(), 1);
    EXPECT_TRUE(trackCopySummary(cancelled).endsWith("Écriture interrompue."));
}

TEST(TrackCopies, ExistingCopiesAreKeptUnlessReplacedAndOnlyTheChosenRowsAreWritten) {
    QTemporaryDir dir;
    QStringList paths;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
        paths << makeJpeg(dir.path(), name, {asciiItem(0x9003, "2024:06:01 12:00:30")});
    const std::vector<TrackFix> track = {fix(0, 10, 20), fix(60, 11, 21)};
    CorrelationSettings utc;
    utc.zone = QTimeZone::utc();
    QVector<PhotoOnTrack> photos = readPhotosForTrack(paths);
    placePhotos(photos, track, utc);
    const QString oldCopy = writeFile(dir, "#b.jpg", "an earlier copy");
    EXPECT_EQ(existingTrackCopies(photos), QStringList{oldCopy});
    EXPECT_TRUE(existingTrackCopies(photos, {0, 2}).isEmpty());

    // The first and the second photo only: the second's copy is kept.
    const TrackCopyRun first = writeTrackCopies(photos, {}, kTrackCopyThreads, {false, {0, 1}});
    EXPECT_EQ(first.written, QStringList{dir.filePath("#a.jpg")});
    EXPECT_EQ(first.keptCopies, QStringList{oldCopy});
    EXPECT_EQ(first.kept, QVector<bool>({false, true, false, false}));
    EXPECT_EQ(fileBytes(oldCopy), "an earlier copy");
    EXPECT_FALSE(QFile::exists(dir.filePath("#c.jpg")));
    EXPECT_EQ(trackCopySummary(first), "1 copie écrite.\n1 copie existante gardée.");

    // Replaced when asked: every row.
    const TrackCopyRun all = writeTrackCopies(photos, {}, kTrackCopyThreads, {true, {}});
    EXPECT_EQ(all.written.size(), 4);
    EXPECT_TRUE(all.keptCopies.isEmpty());
    EXPECT_NE(fileBytes(oldCopy), "an earlier copy");
}

TEST(TrackCopies, ABlockedSettingShowsInEveryReadableRow) {
    QTemporaryDir dir;
    PhotoOnTrack photo{makeJpeg(dir.path(), "a.jpg", {asciiItem(0x9003, "2024:06:01 12:00:30")}), {}, {}};
    photo.time = ReadPhotoTime(photo.path);
    CorrelationSettings utc;
    utc.zone = QTimeZone::utc();
    photo.placement = placePhoto(photo.time, {fix(0, 10, 20), fix(60, 11, 21)}, utc);
    EXPECT_EQ(trackTableRow(photo)[TrackPlace], "10,500000 ; 20,500000");
    const QStringList blocked = trackTableRow(photo, "Fuseau inconnu");
    EXPECT_EQ(blocked[TrackUtcTime], "Fuseau inconnu");
    EXPECT_EQ(blocked[TrackPlace], "Fuseau inconnu");
    EXPECT_EQ(blocked[TrackCameraTime], "2024-06-01 12:00:30");
}

TEST(TrackCopies, PositionRationalsKeepAMillionthOfAMinute) {
    const struct {
        double degrees;
        const char* latRef;
        std::array<quint32, 2> dm; // degrees, minutes in millionths
    } cases[] = {
        {48.858370, "N", {48, 51502200}},
        {-0.000001, "S", {0, 60}},
        {89.9999999999, "N", {90, 0}},
        {-45.5, "S", {45, 30000000}},
    };
    for (const auto& c : cases) {
        const GpsPosition g = trackGpsPosition({c.degrees, 0, 0, false}, kNoon, true);
        EXPECT_EQ(g.latitudeRef, c.latRef);
        EXPECT_EQ(g.latitude, (RationalTriple{c.dm[0], 1, c.dm[1], 1000000, 0, 1})) << c.degrees;
    }
}

} // namespace

namespace {

// ---- The dialog's map ----

TEST(TrackMapPage, ATrackAcrossTheAntimeridianIsDrawnTheShortWay) {
    const std::vector<TrackFix> track = {fix(0, -17, 179.5),      fix(1, -17.1, 179.9),
                                         fix(2, -17.2, -179.9),   fix(3, -17.3, -179.5),
                                         fix(4, -17.4, 179.8, 1), fix(5, -17.5, -179.7, 1)};
    const QString page =
        QString::fromUtf8(BuildTrackMapPage(track, {{-17.2, -179.8, "a.jpg"}}, MapSettings{}));
    EXPECT_TRUE(
        page.contains("var vantorelSegments = [\n[[-17.0000000,179.5000000],[-17.1000000,179.9000000],"
                      "[-17.2000000,180.1000000],[-17.3000000,180.5000000]],\n"
                      "[[-17.4000000,179.8000000],[-17.5000000,180.3000000]]];"))
        << page.right(1500).toStdString();
    EXPECT_TRUE(page.contains("var vantorelCentreLongitude = 180.0000000;"));
}

TEST(TrackMapPage, OneLinePerSegmentEscapedNamesAndLongTracksThinned) {
    const std::vector<TrackFix> short_ = {fix(0, 1.5, 2.5, 0), fix(1, 1.6, 2.6, 0), fix(2, -3, -4, 1)};
    const QVector<TrackMapPhoto> photos = {{1.55, 2.55, QStringLiteral("a\"</script><b>.jpg")}};
    MapSettings google;
    google.library = MapLibrary::Google;
    const QString page = QString::fromUtf8(BuildTrackMapPage(short_, photos, google));
    EXPECT_TRUE(page.contains("var vantorelSegments = [\n[[1.5000000,2.5000000],[1.6000000,2.6000000]],\n"
                              "[[-3.0000000,-4.0000000]]];"))
        << page.right(2000).toStdString();
    EXPECT_FALSE(page.contains("maps.googleapis.com")) << "always Leaflet";
    EXPECT_FALSE(page.contains("</script><b>"));
    EXPECT_TRUE(trackMarkersScript(photos).startsWith("vantorelTrackPhotos([[1.5500000,2.5500000,\""));
    EXPECT_FALSE(trackMarkersScript(photos).contains("</script"));

    std::vector<TrackFix> day;
    for (int s = 0; s < 86400; ++s)
        day.push_back(fix(s, 45 + s * 1e-6, 5, s < 40000 ? 0 : 1));
    const QByteArray long_ = BuildTrackMapPage(day, {}, MapSettings{});
    const qsizetype start = long_.indexOf("var vantorelSegments");
    const QByteArray segments = long_.mid(start, long_.indexOf("];", start) - start);
    EXPECT_LE(segments.count('[') - 3, kTrackMapMaxFixes + 4);
    // Each segment keeps its first and last fix.
    for (int s : {0, 39999, 40000, 86399})
        EXPECT_TRUE(segments.contains("[" + QByteArray::number(45 + s * 1e-6, 'f', 7) + ",5.0000000]")) << s;
}

} // namespace
