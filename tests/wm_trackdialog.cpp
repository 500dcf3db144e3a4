// SPDX-License-Identifier: GPL-3.0-or-later
// « Trace GPS… » on an X display under a window manager, with the real map view: a track opened,
// the clock error changed and the markers moving on the map, the copies written and joining the
// list. With VANTOREL_TRACK_SCREENSHOT set to a path, the dialog's picture is saved there.
#include "doubles.h"
#include "fixtures.h"
#include "mainwindow.h"
#include "pageserver.h"
#include "trackdialog.h"
#include "webmapview.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

QString run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// A real click, through the X server and the window manager.
void click(const QWidget& window, QPoint at) {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window.winId()),
         QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
}

// Lets events run until `ready` holds, for at most `ms` milliseconds.
bool waitFor(const std::function<bool()>& ready, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!ready()) {
        if (clock.elapsed() > ms) return false;
        QTest::qWait(20);
    }
    return true;
}

const char kTrack[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1"><trk><trkseg>
<trkpt lat="48.0" lon="2.0"><ele>100</ele><time>2024-06-01T12:00:00Z</time></trkpt>
<trkpt lat="48.6" lon="2.6"><ele>160</ele><time>2024-06-01T12:01:00Z</time></trkpt>
<trkpt lat="49.2" lon="3.2"><ele>220</ele><time>2024-06-01T12:02:00Z</time></trkpt>
</trkseg></trk></gpx>
)";

TEST(TrackDialogUnderWindowManager, OpenTrackCorrectClockSeeMarkersMoveWriteCopies) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1"); // root in CI containers
    QProcess wm;
    wm.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    ASSERT_TRUE(wm.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
            .contains(QStringLiteral("window id")),
        10000);

    QTemporaryDir dir;
    QStringList photos;
    for (const char* time : {"14:00:10", "14:00:20", "14:00:30"}) {
        const QByteArray stamp = QByteArray("2024:06:01 ") + time;
        photos << makeJpeg(dir.path(), QStringLiteral("photo %1.jpg").arg(photos.size() + 1),
                           {asciiItem(0x9003, stamp), asciiItem(0x9011, "+02:00")});
    }
    const QString track = dir.filePath(QStringLiteral("day.gpx"));
    QFile file(track);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kTrack);
    file.close();

    RecordingBoxes boxes;
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    dialogs.tracks = QStringList{track};
    FakeConnectivity connectivity;
    RecordingExternalBrowser browser;
    RecordingProgress progress;
    MainWindow window(WindowServices{&boxes, &clipboard, &dialogs, &connectivity, &browser, &progress, true});
    window.showThen([&] { window.openPaths(photos); });
    QTRY_COMPARE_WITH_TIMEOUT(window.controller().controls().ListBox1.size(), 3, 10000);

    // « Trace GPS… » beside the list's count.
    click(window, QPoint(736 + 44, 155 + 8));
    TrackDialog* dialog = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((dialog = window.findChild<TrackDialog*>()) && dialog->isVisible(), 10000);
    dialog->addTracks();
    EXPECT_EQ(dialogs.tracksOpened, 1);
    ASSERT_TRUE(dialog->mapView());

    QWebEnginePage* page = dialog->mapView()->page();
    std::optional<QString> answer;
    bool asking = false;
    // The markers on the map now; asked again each time the previous answer has come.
    const auto markers = [&]() -> QString {
        if (!asking) {
            asking = true;
            page->runJavaScript(
                QStringLiteral("window.vantorelTrack ? JSON.stringify(window.vantorelTrack.photos) : ''"),
                [&](const QVariant& v) {
                    answer = v.toString();
                    asking = false;
                });
        }
        return answer.value_or(QString());
    };
    QTRY_COMPARE_WITH_TIMEOUT(markers(),
                              QStringLiteral("[[48.1,2.1,\"photo 1.jpg\"],[48.2,2.2,\"photo 2.jpg\"],"
                                             "[48.3,2.3,\"photo 3.jpg\"]]"),
                              30000);
    // The map comes from the program's server, from memory, never from a file.
    EXPECT_TRUE(sharedPageServer().serves(page->url())) << page->url().toString().toStdString();

    // The camera was 20 s ahead: typed in the field, the markers move back along the track.
    QLineEdit* clockError = dialog->clockErrorField();
    clockError->selectAll();
    QTest::keyClicks(clockError, QStringLiteral("+0:20"));
    QTRY_COMPARE_WITH_TIMEOUT(markers(),
                              QStringLiteral("[[48,2,\"photo 1.jpg\"],[48,2,\"photo 2.jpg\"],"
                                             "[48.1,2.1,\"photo 3.jpg\"]]"),
                              10000);
    // The first photo is now 10 s before the track's first fix: the nearest fix is within the limit.
    EXPECT_EQ(dialog->photos()[0].placement.status, PlacementStatus::Placed);
    EXPECT_EQ(formatUtc(*dialog->photos()[0].placement.utcMs), "2024-06-01T11:59:50Z");

    if (const QString shot = qEnvironmentVariable("VANTOREL_TRACK_SCREENSHOT"); !shot.isEmpty()) {
        QTest::qWait(1500); // tiles, when the machine is online
        run(QStringLiteral("import"), {QStringLiteral("-window"), QString::number(dialog->winId()), shot});
    }

    click(*dialog, dialog->findChild<QWidget*>(QStringLiteral("writeCopies"))->geometry().center());
    QTRY_COMPARE_WITH_TIMEOUT(boxes.informations.size(), 1, 10000);
    EXPECT_EQ(boxes.informations[0], QStringLiteral("3 copies écrites."));
    EXPECT_EQ(progress.labels, QStringList({QStringLiteral("Lecture des traces…"),
                                            QStringLiteral("Écriture des copies géocodées")}));
    const QStringList& list = window.controller().controls().ListBox1;
    for (const QString& photo : photos) {
        const QString copy = QFileInfo(photo).dir().filePath(u'#' + QFileInfo(photo).fileName());
        EXPECT_TRUE(QFile::exists(copy)) << copy.toStdString();
        EXPECT_TRUE(list.contains(copy)) << copy.toStdString();
    }
    EXPECT_EQ(list.size(), 6);
    dialog->close();
    wm.terminate();
    wm.waitForFinished();
}

// The zone and clock fields as a user types them, existing copies, the selected rows, and what
// the next opening of the dialog remembers. With VANTOREL_SHOTS set to a folder, pictures of the
// zone refused and of the completion go there.
TEST(TrackDialogUnderWindowManager, UnreadableFieldsBlockWritingZonesCompleteCopiesAreAskedFor) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    const QString shots = qEnvironmentVariable("VANTOREL_SHOTS");
    const auto shoot = [&](const QString& name, const QString& window) {
        if (!shots.isEmpty())
            run(QStringLiteral("import"), {QStringLiteral("-window"), window, shots + u'/' + name});
    };
    QTemporaryDir dir;
    QStringList photos;
    for (const char* time : {"14:00:10", "14:00:20", "14:00:30"})
        photos << makeJpeg(dir.path(), QStringLiteral("photo %1.jpg").arg(photos.size() + 1),
                           {asciiItem(0x9003, QByteArray("2024:06:01 ") + time)});
    const QString track = dir.filePath(QStringLiteral("day.gpx"));
    QFile file(track);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kTrack);
    file.close();
    const QString existing = dir.filePath(QStringLiteral("#photo 1.jpg"));
    QFile old(existing);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an earlier copy");
    old.close();

    RecordingBoxes boxes;
    FakeDialogs dialogs;
    dialogs.tracks = QStringList{track};
    RecordingProgress progress;
    QTemporaryDir temp;
    auto dialog = std::make_unique<TrackDialog>(
        photos, TrackDialogServices{dialogs, boxes, progress, temp.path(), true});
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->addTracks();
    auto* write = dialog->findChild<QPushButton*>(QStringLiteral("writeCopies"));
    auto* writeSelection = dialog->findChild<QPushButton*>(QStringLiteral("writeSelection"));
    QLineEdit* zone = dialog->zoneField()->lineEdit();
    const auto type = [](QLineEdit* field, const QString& text) {
        field->selectAll();
        QTest::keyClicks(field, text);
    };
    type(zone, QStringLiteral("Europe/Paris"));
    ASSERT_TRUE(waitFor([&] { return dialog->photos()[0].placement.status == PlacementStatus::Placed; }))
        << "dialog->photos()[0].placement.status";
    EXPECT_TRUE(write->isEnabled());

    // « Paris » alone is no zone, but the completion offers Europe/Paris.
    type(zone, QStringLiteral("Paris"));
    QCompleter* completer = dialog->zoneField()->completer();
    ASSERT_TRUE(waitFor([&] { return completer->popup()->isVisible(); }))
        << "completer->popup()->isVisible()";
    QStringList offered;
    for (int i = 0; i < completer->completionCount(); ++i) {
        completer->setCurrentRow(i);
        offered << completer->currentCompletion();
    }
    EXPECT_TRUE(offered.contains(QStringLiteral("Europe/Paris"))) << offered.join(' ').toStdString();
    QTest::qWait(300);
    shoot(QStringLiteral("zone-paris-completion.png"), QStringLiteral("root"));
    completer->popup()->hide();

    const auto blockedEverywhere = [&](const QString& why) {
        EXPECT_FALSE(write->isEnabled());
        EXPECT_FALSE(writeSelection->isEnabled());
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(dialog->table()->item(row, TrackPlace)->text(), why) << row;
    };
    type(zone, QStringLiteral("Pariss"));
    EXPECT_EQ(zone->styleSheet(), QStringLiteral("color: red"));
    blockedEverywhere(QStringLiteral("Fuseau inconnu"));
    QTest::qWait(300);
    shoot(QStringLiteral("zone-pariss-refused.png"), QString::number(dialog->winId()));
    dialog->writeCopies(); // as a shortcut would
    EXPECT_EQ(boxes.warnings.last(), QStringLiteral("Fuseau inconnu"));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("#photo 2.jpg"))));

    // A readable clock error, then an unreadable one: the rows do not keep the old value.
    type(zone, QStringLiteral("Europe/Paris"));
    type(dialog->clockErrorField(), QStringLiteral("+12.5"));
    ASSERT_TRUE(waitFor([&] { return write->isEnabled(); })) << "write->isEnabled()";
    type(dialog->clockErrorField(), QStringLiteral("3 17"));
    blockedEverywhere(QStringLiteral("Décalage illisible : SS, MM:SS, HH:MM:SS ou J HH:MM:SS"));
    type(dialog->clockErrorField(), QStringLiteral("0"));
    ASSERT_TRUE(waitFor([&] { return write->isEnabled(); })) << "write->isEnabled()";

    // The second and third rows only; then all, with the existing copies: one question, kept on « Non ».
    dialog->table()->clearSelection();
    dialog->table()->selectRow(1);
    dialog->table()->setSelectionMode(QAbstractItemView::MultiSelection);
    dialog->table()->selectRow(2);
    ASSERT_TRUE(waitFor([&] { return writeSelection->isEnabled(); })) << "writeSelection->isEnabled()";
    QTest::mouseClick(writeSelection, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return boxes.informations.size() == 1; })) << "boxes.informations.size()";
    EXPECT_TRUE(boxes.questions.isEmpty());
    EXPECT_EQ(boxes.informations.last(), QStringLiteral("2 copies écrites."));
    EXPECT_EQ(old.open(QIODevice::ReadOnly) ? old.readAll() : QByteArray(), "an earlier copy");
    old.close();
    boxes.answer = MessageBoxes::Answer::No;
    dialog->writeCopies();
    ASSERT_EQ(boxes.questions.size(), 1);
    EXPECT_TRUE(boxes.questions[0].contains(existing));
    EXPECT_TRUE(boxes.questions[0].contains(QStringLiteral("#photo 3.jpg"))); // written just before
    EXPECT_EQ(boxes.informations.last(), QStringLiteral("0 copie écrite.\n3 copies existantes gardées."));
    boxes.answer = MessageBoxes::Answer::Cancel;
    dialog->writeCopies();
    EXPECT_EQ(boxes.informations.size(), 2) << "nothing written on « Annuler »";
    boxes.answer = MessageBoxes::Answer::Yes;
    dialog->writeCopies();
    EXPECT_EQ(boxes.informations.last(), QStringLiteral("3 copies écrites."));
    EXPECT_NE(old.open(QIODevice::ReadOnly) ? old.readAll() : QByteArray(), "an earlier copy");
    old.close();

    // The next opening starts where this one was left.
    type(dialog->clockErrorField(), QStringLiteral("+0:20"));
    dialog.reset();
    TrackDialog again(photos, TrackDialogServices{dialogs, boxes, progress, temp.path(), true});
    again.show();
    EXPECT_EQ(again.zoneField()->currentText(), QStringLiteral("Europe/Paris"));
    EXPECT_EQ(again.clockErrorField()->text(), QStringLiteral("+0:20"));
    ASSERT_TRUE(waitFor([&] { return again.photos()[2].placement.status == PlacementStatus::Placed; }))
        << "again.photos()[2].placement.status";
    EXPECT_EQ(formatUtc(*again.photos()[2].placement.utcMs), "2024-06-01T12:00:10Z");
}

// A trip from Lisbon to Madrid « d'après la trace »: each row's zone with where it came from, the
// change of zone near the border in red. With VANTOREL_SHOTS set to a folder, its picture goes there.
TEST(TrackDialogUnderWindowManager, EachRowShowsTheZoneFromTheTrack) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
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
    file.write(tripAcrossIberiaGpx()); // the border at 12:10Z
    file.close();

    RecordingBoxes boxes;
    FakeDialogs dialogs;
    dialogs.tracks = QStringList{track};
    RecordingProgress progress;
    QTemporaryDir temp;
    const auto iberia = [](double, double longitude) {
        return longitude < -7 ? QStringLiteral("Europe/Lisbon") : QStringLiteral("Europe/Madrid");
    };
    TrackDialog dialog(photos, TrackDialogServices{dialogs, boxes, progress, temp.path(), true, iberia});
    // Whatever an earlier opening left.
    dialog.zoneField()->setCurrentIndex(0);
    dialog.clockErrorField()->setText(QStringLiteral("0"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.zoneField()->currentText(), QStringLiteral("d'après la trace"));
    dialog.addTracks();
    QTableWidget* table = dialog.table();
    table->resizeColumnsToContents();
    QStringList zones;
    for (int row = 0; row < table->rowCount(); ++row)
        zones << table->item(row, TrackZone)->text();
    EXPECT_EQ(zones, QStringList({"Europe/Lisbon (trace)",
                                  "Europe/Lisbon (trace) – changement de fuseau proche (Europe/Madrid)",
                                  "Europe/Madrid (trace) – changement de fuseau proche (Europe/Lisbon)",
                                  "Europe/Madrid (trace)", "+02:00 (photo)"}));
    EXPECT_EQ(table->item(3, TrackUtcTime)->text(), QStringLiteral("2024-06-01T15:00:00Z"));
    if (const QString shots = qEnvironmentVariable("VANTOREL_SHOTS"); !shots.isEmpty()) {
        QTest::qWait(1500); // the map's page, and the table laid out again
        table->horizontalScrollBar()->setValue(table->horizontalScrollBar()->maximum()); // the zones in view
        QTest::qWait(300);
        run(QStringLiteral("import"), {QStringLiteral("-window"), QString::number(dialog.winId()),
                                       shots + QStringLiteral("/track-zone-from-track.png")});
    }
}

} // namespace
