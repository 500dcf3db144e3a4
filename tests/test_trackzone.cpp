// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's zone found from the track: each photo without its own offset read in the zone of the
// place the track was at when it was taken, a trip across zones placed photo by photo, and a zone
// changing near a photo marked. The places are a lookup given here, not the towns' index.
#include "fixtures.h"
#include "metadata/phototime.h"
#include "tracks/correlation.h"
#include "tracks/trackcopies.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

constexpr qint64 kEight = 1717228800000; // 2024-06-01T08:00:00Z

// West of 7° W is Portugal, east of it Spain; east of 4° W the track is "at sea" (no zone).
QString iberia(double, double longitude) {
    if (longitude > -4) return {};
    return longitude < -7 ? QStringLiteral("Europe/Lisbon") : QStringLiteral("Europe/Madrid");
}

// From Lisbon to the east, 0.01° of longitude a minute, a fix every ten minutes from 08:00Z to
// 18:00Z: the border (7° W) at 12:10Z, the "sea" (4° W) from 17:30Z.
std::vector<TrackFix> trip() {
    std::vector<TrackFix> fixes;
    for (int minute = 0; minute <= 600; minute += 10)
        fixes.push_back({kEight + minute * 60000LL, 39.0, -9.5 + 0.01 * minute, 0, false, 0});
    return fixes;
}

CorrelationSettings fromTrack(const QTimeZone& firstGuess, const ZoneAtPosition& zoneAt = iberia) {
    CorrelationSettings settings;
    settings.zone = firstGuess;
    settings.zoneAt = zoneAt;
    return settings;
}

TEST(ZoneFromTrack, EachPhotoIsReadAgainInTheZoneWhereTheFirstGuessFindsTheTrack) {
    const QTimeZone utc = QTimeZone::utc(), lisbon("Europe/Lisbon");
    const struct Case {
        const char* what;
        PhotoTimeReading photo;
        QTimeZone guess;
        qint64 clockErrorMs;
        PlacementStatus status;
        const char* utc;
        const char* zone;
        ZoneSource source;
        const char* nearby;
    } cases[] = {
        {"in Lisbon, guessed right", cameraTime("2024:06:01 10:00:00"), lisbon, 0, PlacementStatus::Placed,
         "2024-06-01T09:00:00Z", "Europe/Lisbon", ZoneSource::Track, ""},
        {"in Madrid, guessed two hours off", cameraTime("2024:06:01 17:00:00"), utc, 0,
         PlacementStatus::Placed, "2024-06-01T15:00:00Z", "Europe/Madrid", ZoneSource::Track, ""},
        {"the clock error first: the camera an hour ahead", cameraTime("2024:06:01 18:00:00"), utc, 3600000,
         PlacementStatus::Placed, "2024-06-01T15:00:00Z", "Europe/Madrid", ZoneSource::Track, ""},
        {"the photo's own offset wins", cameraTime("2024:06:01 17:00:00", 3 * 3600), utc, 0,
         PlacementStatus::Placed, "2024-06-01T14:00:00Z", "+03:00", ZoneSource::Photo, ""},
        // 12:15 read as UTC is in Spain; read in Madrid's zone, 10:15Z is back in Portugal, where
        // Lisbon's zone gives 11:15Z, still in Portugal.
        {"a guess too far off: the zone where the track is at the time found",
         cameraTime("2024:06:01 12:15:00"), utc, 0, PlacementStatus::Placed, "2024-06-01T11:15:00Z",
         "Europe/Lisbon", ZoneSource::Track, ""},
        // 13:15 in Lisbon's zone is 12:15Z, in Spain; in Madrid's 11:15Z, in Portugal: in neither.
        {"the hour the border skips: the zone found kept, the change said", cameraTime("2024:06:01 13:15:00"),
         lisbon, 0, PlacementStatus::Placed, "2024-06-01T11:15:00Z", "Europe/Madrid", ZoneSource::Track,
         "Europe/Lisbon"},
        {"two days before the track: its nearest fix gives the zone", cameraTime("2024:05:30 10:00:00"), utc,
         0, PlacementStatus::OutsideTrack, "2024-05-30T09:00:00Z", "Europe/Lisbon", ZoneSource::Track, ""},
        {"at sea, the first guess stays", cameraTime("2024:06:01 17:50:00"), utc, 0, PlacementStatus::Placed,
         "2024-06-01T17:50:00Z", "UTC", ZoneSource::System, ""},
    };
    for (const Case& c : cases) {
        CorrelationSettings settings = fromTrack(c.guess);
        settings.clockErrorMs = c.clockErrorMs;
        const Placement p = placePhoto(c.photo, trip(), settings);
        EXPECT_EQ(p.status, c.status) << c.what;
        ASSERT_TRUE(p.utcMs) << c.what;
        EXPECT_EQ(formatUtc(*p.utcMs), QString::fromLatin1(c.utc)) << c.what;
        EXPECT_EQ(zoneName(p.zone), QString::fromLatin1(c.zone)) << c.what;
        EXPECT_EQ(p.zoneSource, c.source) << c.what;
        EXPECT_EQ(p.nearbyZone, QString::fromLatin1(c.nearby)) << c.what;
        EXPECT_FALSE(p.ambiguousTime) << c.what;
        if (c.status == PlacementStatus::Placed) {
            ASSERT_TRUE(p.position) << c.what;
            EXPECT_NEAR(p.position->longitude, -9.5 + 0.01 * double(*p.utcMs - kEight) / 60000, 1e-9)
                << c.what;
        }
    }

    // Without a lookup the chosen zone reads every photo: the Madrid photo an hour off.
    CorrelationSettings chosen;
    chosen.zone = lisbon;
    const Placement single = placePhoto(cameraTime("2024:06:01 17:00:00"), trip(), chosen);
    EXPECT_EQ(formatUtc(*single.utcMs), "2024-06-01T16:00:00Z");
    EXPECT_EQ(single.zoneSource, ZoneSource::Chosen);
    EXPECT_EQ(zoneName(single.zone), "Europe/Lisbon");

    // A name the system does not know is no zone: the first guess stays.
    const Placement unknown =
        placePhoto(cameraTime("2024:06:01 10:00:00"), trip(),
                   fromTrack(utc, [](double, double) { return QStringLiteral("Mars/Olympus"); }));
    EXPECT_EQ(unknown.zoneSource, ZoneSource::System);
    EXPECT_EQ(formatUtc(*unknown.utcMs), "2024-06-01T10:00:00Z");
}

TEST(ZoneFromTrack, TheRepeatedHourOfTheTracksZoneIsAmbiguous) {
    // In Madrid on the night summer time ends: 02:30 comes twice.
    const qint64 midnight = 1729987200000; // 2024-10-27T00:00:00Z
    const std::vector<TrackFix> night = {{midnight - 3600000, 40.4, -3.7 - 1, 0, false, 0},
                                         {midnight + 3 * 3600000, 40.4, -3.7 - 1, 0, false, 0}};
    const Placement p = placePhoto(cameraTime("2024:10:27 02:30:00"), night, fromTrack(QTimeZone::utc()));
    EXPECT_EQ(p.zoneSource, ZoneSource::Track);
    EXPECT_TRUE(p.ambiguousTime);
    EXPECT_EQ(formatUtc(*p.utcMs), "2024-10-27T00:30:00Z");
}

TEST(ZoneFromTrack, APhotoGuessesFromTheOneBeforeItAndNeighboursInOtherZonesAreMarked) {
    // Given out of order: the run takes them by camera time.
    const std::vector<PhotoTimeReading> photos = {
        cameraTime("2024:06:01 14:20:00"), // Spain, 12:20Z
        cameraTime("2024:06:01 10:00:00"), // Portugal, 09:00Z
        cameraTime("2024:06:01 13:05:00"), // Portugal, 12:05Z: a quarter of an hour before the one in Spain
        cameraTime("2024:06:01 17:00:00"), // Spain, 15:00Z
        cameraTime("2024:06:01 19:50:00"), // at sea: Madrid's zone from the photo before, 17:50Z
        cameraTime("2024:06:01 12:50:00", 3600), // its own offset: never marked
    };
    const std::vector<Placement> placed =
        placePhotoTimes(photos, trip(), fromTrack(QTimeZone("Europe/Lisbon")));
    ASSERT_EQ(placed.size(), photos.size());
    const struct {
        const char* utc;
        const char* zone;
        ZoneSource source;
        const char* nearby;
    } expected[] = {
        {"2024-06-01T12:20:00Z", "Europe/Madrid", ZoneSource::Track, "Europe/Lisbon"},
        {"2024-06-01T09:00:00Z", "Europe/Lisbon", ZoneSource::Track, ""},
        {"2024-06-01T12:05:00Z", "Europe/Lisbon", ZoneSource::Track, "Europe/Madrid"},
        {"2024-06-01T15:00:00Z", "Europe/Madrid", ZoneSource::Track, ""},
        {"2024-06-01T17:50:00Z", "Europe/Madrid", ZoneSource::Track, ""},
        {"2024-06-01T11:50:00Z", "+01:00", ZoneSource::Photo, ""},
    };
    for (size_t i = 0; i < placed.size(); ++i) {
        EXPECT_EQ(placed[i].status, PlacementStatus::Placed) << i;
        ASSERT_TRUE(placed[i].utcMs) << i;
        EXPECT_EQ(formatUtc(*placed[i].utcMs), QString::fromLatin1(expected[i].utc)) << i;
        EXPECT_EQ(zoneName(placed[i].zone), QString::fromLatin1(expected[i].zone)) << i;
        EXPECT_EQ(placed[i].zoneSource, expected[i].source) << i;
        EXPECT_EQ(placed[i].nearbyZone, QString::fromLatin1(expected[i].nearby)) << i;
    }

    // Zones of other names but the same offset are no change.
    const auto sameHour = [](double, double longitude) {
        return longitude < -7 ? QStringLiteral("Europe/Madrid") : QStringLiteral("Europe/Paris");
    };
    for (const Placement& p :
         placePhotoTimes(photos, trip(), fromTrack(QTimeZone("Europe/Madrid"), sameHour)))
        EXPECT_TRUE(p.nearbyZone.isEmpty()) << zoneName(p.zone).toStdString();
    // More than an hour apart: no change marked.
    const std::vector<PhotoTimeReading> apart = {cameraTime("2024:06:01 11:00:00"),
                                                 cameraTime("2024:06:01 14:20:00")};
    for (const Placement& p : placePhotoTimes(apart, trip(), fromTrack(QTimeZone("Europe/Lisbon"))))
        EXPECT_TRUE(p.nearbyZone.isEmpty()) << zoneName(p.zone).toStdString();
}

TEST(ZoneFromTrack, TheTableShowsEachRowsZoneAndWhereItCameFrom) {
    QTemporaryDir dir;
    QVector<PhotoOnTrack> photos =
        readPhotosForTrack({makeJpeg(dir.path(), "lisbon.jpg", {asciiItem(0x9003, "2024:06:01 13:05:00")}),
                            makeJpeg(dir.path(), "border.jpg", {asciiItem(0x9003, "2024:06:01 14:20:00")}),
                            makeJpeg(dir.path(), "own.jpg",
                                     {asciiItem(0x9003, "2024:06:01 17:00:00"), asciiItem(0x9011, "+02:00")}),
                            makeJpeg(dir.path(), "undated.jpg")});
    placePhotos(photos, trip(), fromTrack(QTimeZone("Europe/Lisbon")));
    const QStringList header = trackTableHeader();
    ASSERT_EQ(header.size(), TrackColumnCount);
    EXPECT_EQ(header[TrackZone], "Fuseau");
    EXPECT_EQ(trackTableRow(photos[0])[TrackZone],
              "Europe/Lisbon (trace) – changement de fuseau proche (Europe/Madrid)");
    EXPECT_EQ(trackTableRow(photos[1])[TrackZone],
              "Europe/Madrid (trace) – changement de fuseau proche (Europe/Lisbon)");
    EXPECT_EQ(trackTableRow(photos[2])[TrackZone], "+02:00 (photo)");
    EXPECT_EQ(trackTableRow(photos[3])[TrackZone], "");
    EXPECT_EQ(trackPlacementSummary(photos),
              "3 photo(s) placée(s) sur 4 ; changement de fuseau proche : 2 à vérifier");
    // While a setting is unreadable only the photo's own offset stays.
    EXPECT_EQ(trackTableRow(photos[1], "Fuseau inconnu")[TrackZone], "");
    EXPECT_EQ(trackTableRow(photos[2], "Fuseau inconnu")[TrackZone], "+02:00 (photo)");

    CorrelationSettings chosen;
    chosen.zone = QTimeZone("Europe/Lisbon");
    placePhotos(photos, trip(), chosen);
    EXPECT_EQ(trackTableRow(photos[1])[TrackZone], "Europe/Lisbon (choisi)");
    EXPECT_EQ(trackTableRow(photos[1])[TrackUtcTime], "2024-06-01T13:20:00Z");
    EXPECT_EQ(trackPlacementSummary(photos), "3 photo(s) placée(s) sur 4");
}

} // namespace
