// SPDX-License-Identifier: GPL-3.0-or-later
// « Trace GPS… » with the zone from the track, offscreen: a trip from Lisbon to Madrid placed photo
// by photo « d'après la trace », each row with its zone and where it came from, the change of zone
// marked, one zone chosen for all, and the copies' GPS time. The places are a lookup given here.
#include "doubles.h"
#include "fixtures.h"
#include "trackdialog.h"

#include "metadata/imageproperties.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

// West of 7° W is Portugal, east of it Spain.
QString iberia(double, double longitude) {
    return longitude < -7 ? QStringLiteral("Europe/Lisbon") : QStringLiteral("Europe/Madrid");
}

QStringList column(const QTableWidget* table, int col) {
    QStringList cells;
    for (int row = 0; row < table->rowCount(); ++row)
        cells << table->item(row, col)->text();
    return cells;
}

TEST(TrackDialogZone, ATripAcrossTwoZonesIsPlacedFromTheTrackAndAnHourOffWithOneZone) {
    QTemporaryDir dir;
    QStringList photos;
    for (const char* time : {"10:00:00", "13:05:00", "14:20:00", "17:00:00"})
        photos << makeJpeg(dir.path(), QStringLiteral("trip %1.jpg").arg(photos.size() + 1),
                           {asciiItem(0x9003, QByteArray("2024:06:01 ") + time)});
    photos << makeJpeg(dir.path(), QStringLiteral("own.jpg"),
                       {asciiItem(0x9003, "2024:06:01 17:00:00"), asciiItem(0x9011, "+02:00")});
    const QString track = dir.filePath(QStringLiteral("trip.gpx"));
    QFile file(track);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(tripAcrossIberiaGpx());
    file.close();

    RecordingBoxes boxes;
    FakeDialogs dialogs;
    dialogs.tracks = QStringList{track};
    RecordingProgress progress;
    QTemporaryDir temp;
    TrackDialog dialog(photos, TrackDialogServices{dialogs, boxes, progress, temp.path(), false, iberia});
    dialog.show();
    EXPECT_EQ(dialog.zoneField()->currentText(), QStringLiteral("d'après la trace"));
    EXPECT_EQ(dialog.zoneField()->itemText(1), QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    dialog.addTracks();
    const QTableWidget* table = dialog.table();
    EXPECT_EQ(table->horizontalHeaderItem(TrackZone)->text(), QStringLiteral("Fuseau"));
    EXPECT_EQ(column(table, TrackUtcTime),
              QStringList({"2024-06-01T09:00:00Z", "2024-06-01T12:05:00Z", "2024-06-01T12:20:00Z",
                           "2024-06-01T15:00:00Z", "2024-06-01T15:00:00Z"}));
    EXPECT_EQ(column(table, TrackZone),
              QStringList({"Europe/Lisbon (trace)",
                           "Europe/Lisbon (trace) – changement de fuseau proche (Europe/Madrid)",
                           "Europe/Madrid (trace) – changement de fuseau proche (Europe/Lisbon)",
                           "Europe/Madrid (trace)", "+02:00 (photo)"}));
    EXPECT_EQ(table->item(1, TrackZone)->foreground().color(), QColor(Qt::red));
    EXPECT_NE(table->item(0, TrackZone)->foreground().color(), QColor(Qt::red));
    EXPECT_EQ(dialog.statusLine()->text(),
              QStringLiteral("5 photo(s) placée(s) sur 5 ; changement de fuseau proche : 2 à vérifier"));

    // The copies take the GPS time of each photo's own zone: 15:00 in Madrid.
    dialog.writeCopies();
    ASSERT_FALSE(boxes.informations.isEmpty());
    EXPECT_EQ(boxes.informations.last(), QStringLiteral("5 copies écrites."));
    ImageProperties madrid;
    ASSERT_TRUE(madrid.open(dir.filePath(QStringLiteral("#trip 4.jpg"))));
    EXPECT_EQ(madrid.item(GpsTimeStamp).value_or(PropertyItem{}).value,
              rationalItem(GpsTimeStamp, {{15, 1}, {0, 1}, {0, 1000}}).value);

    // One zone for all: Lisbon's puts the Madrid photos an hour late; the photo's own offset stays.
    dialog.zoneField()->setCurrentText(QStringLiteral("Europe/Lisbon"));
    EXPECT_EQ(column(table, TrackUtcTime),
              QStringList({"2024-06-01T09:00:00Z", "2024-06-01T12:05:00Z", "2024-06-01T13:20:00Z",
                           "2024-06-01T16:00:00Z", "2024-06-01T15:00:00Z"}));
    EXPECT_EQ(table->item(3, TrackZone)->text(), QStringLiteral("Europe/Lisbon (choisi)"));
    EXPECT_EQ(table->item(4, TrackZone)->text(), QStringLiteral("+02:00 (photo)"));
    EXPECT_EQ(dialog.statusLine()->text(), QStringLiteral("5 photo(s) placée(s) sur 5"));

    // Back to the track.
    dialog.zoneField()->setCurrentIndex(0);
    EXPECT_EQ(table->item(3, TrackUtcTime)->text(), QStringLiteral("2024-06-01T15:00:00Z"));
}

TEST(TrackDialogZone, WithoutALookupTheZoneIsChosenAsBefore) {
    QTemporaryDir dir;
    const QStringList photos = {makeJpeg(dir.path(), "a.jpg", {asciiItem(0x9003, "2024:06:01 17:00:00")})};
    RecordingBoxes boxes;
    FakeDialogs dialogs;
    RecordingProgress progress;
    QTemporaryDir temp;
    TrackDialog dialog(photos, TrackDialogServices{dialogs, boxes, progress, temp.path(), false});
    EXPECT_EQ(dialog.zoneField()->findText(QStringLiteral("d'après la trace")), -1);
    // « d'après la trace » left by an earlier opening is not taken up.
    EXPECT_EQ(dialog.zoneField()->currentText(), QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    dialog.zoneField()->setCurrentText(QStringLiteral("Europe/Lisbon"));
    EXPECT_EQ(dialog.table()->item(0, TrackZone)->text(), QStringLiteral("Europe/Lisbon (choisi)"));
}

} // namespace
