// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on an X display under a window manager (openbox), run by
// tests/support/under-openbox.sh: where the window manager puts the frame is what these tests look
// at, so they read it back from X itself.
#include "doubles.h"
#include "fixtures.h"
#include "mainwindow.h"
#include "trackdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

const QSize kExpanded(986, 695);
const QSize kCollapsed(200, 22);

QString run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

int field(const QString& text, const QString& label) {
    const auto m = QRegularExpression(label + QStringLiteral(":\\s+(-?\\d+)")).match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The window's frame on the root window, as X and the window manager report it.
QRect frameOnScreen(const QWidget& w) {
    const QString id = QString::number(w.winId());
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    const auto extents = QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)"))
                             .match(run(QStringLiteral("xprop"),
                                        {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")}));
    if (!extents.hasMatch()) return {};
    const int left = extents.captured(1).toInt(), right = extents.captured(2).toInt(),
              top = extents.captured(3).toInt(), bottom = extents.captured(4).toInt();
    return QRect(field(info, QStringLiteral("Absolute upper-left X")) - left,
                 field(info, QStringLiteral("Absolute upper-left Y")) - top,
                 field(info, QStringLiteral("Width")) + left + right,
                 field(info, QStringLiteral("Height")) + top + bottom);
}

// A real click, through the X server and the window manager.
void click(const QWidget& window, QPoint at) {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window.winId()),
         QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
}

class UnderWindowManager : public ::testing::Test {
protected:
    // The script started the window manager and waited for it to announce itself.
    static void SetUpTestSuite() {
        ASSERT_TRUE(run(QStringLiteral("xprop"),
                        {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                        .contains(QStringLiteral("window id")))
            << "no window manager: run under tests/support/under-openbox.sh";
    }

    QRect screen() const { return QGuiApplication::primaryScreen()->geometry(); }
};

TEST_F(UnderWindowManager, StartedWithAPhotoTheFrameIsOnTheScreen) {
    RecordingBoxes boxes;
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    FakeConnectivity connectivity;
    RecordingExternalBrowser browser;
    MainWindow window(WindowServices{&boxes, &clipboard, &dialogs, &connectivity, &browser});
    const QString photo = QDir(QStringLiteral(VANTOREL_SAMPLES_DIR)).filePath("exiv2_FurnaceCreekInn.jpg");
    // As the program starts: the photos of its command line as soon as the window is shown.
    window.showThen([&] {
        window.startUp({});
        window.openPaths({photo});
    });
    QTRY_COMPARE_WITH_TIMEOUT(window.windowTitle(), photo, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(frameOnScreen(window).height() > kExpanded.height(), 5000);
    const QRect started = frameOnScreen(window);
    EXPECT_GT(started.height() - kExpanded.height(), 10) << "a title bar";
    EXPECT_TRUE(screen().contains(started)) << started.x() << "," << started.y();
    EXPECT_TRUE(boxes.messages.isEmpty());

    // "Masquer": the frame stays on the screen, and the strip of list left takes a click that shows
    // the photo again.
    click(window, QPoint(892 + 37, 635 + 12));
    QTRY_COMPARE_WITH_TIMEOUT(window.size(), kCollapsed, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(frameOnScreen(window).height() < 100, 5000);
    EXPECT_TRUE(screen().contains(frameOnScreen(window)));
    EXPECT_EQ(frameOnScreen(window).topLeft(), started.topLeft());
    click(window, QPoint(60, 11));
    QTRY_COMPARE_WITH_TIMEOUT(window.size(), kExpanded, 5000);
    EXPECT_EQ(window.windowTitle(), photo);
    QTRY_VERIFY_WITH_TIMEOUT(screen().contains(frameOnScreen(window)), 5000);
}

// The eraser's second mode, by real clicks: the check box beside the eraser, then the eraser; the
// message lists what the copy lost. The box keeps clear of the controls around it.
TEST_F(UnderWindowManager, TheEraserSecondModeListsWhatItRemoved) {
    RecordingBoxes boxes;
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    FakeConnectivity connectivity;
    RecordingExternalBrowser browser;
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    ASSERT_TRUE(QFile::copy(
        QDir(QStringLiteral(VANTOREL_SAMPLES_DIR)).filePath("mdextract_Fujifilm_S1Pro_1.jpg"), photo));
    MainWindow window(WindowServices{&boxes, &clipboard, &dialogs, &connectivity, &browser});
    window.showThen([&] {
        window.startUp({});
        window.openPaths({photo});
    });
    QTRY_COMPARE_WITH_TIMEOUT(window.windowTitle(), photo, 10000);
    auto* box = window.findChild<QCheckBox*>(QStringLiteral("eraseAllLocationBox"));
    auto* eraser = window.findChild<QPushButton*>(QStringLiteral("BitBtn23"));
    ASSERT_TRUE(box && eraser);
    EXPECT_LE(box->sizeHint().width(), box->width()) << "the caption is cut";
    for (const char* other : {"BitBtn23", "BitBtn9", "BitBtn5"})
        EXPECT_FALSE(window.findChild<QWidget*>(QLatin1String(other))->geometry().intersects(box->geometry()))
            << other;
    QTRY_VERIFY_WITH_TIMEOUT(eraser->isEnabled(), 5000);
    click(window, box->geometry().center());
    QTRY_VERIFY_WITH_TIMEOUT(box->isChecked(), 5000);
    click(window, eraser->geometry().center());
    QTRY_COMPARE_WITH_TIMEOUT(boxes.confirmations.size(), 1, 10000);
    EXPECT_TRUE(boxes.confirmations.first().contains(
        QStringLiteral("Retirés : 7 éléments GPS Exif, 3 propriétés XMP, 3 champs IPTC")))
        << boxes.confirmations.first().toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("~photo.jpg")));
}

// What the user meets once a command's result box has been open a while: whether a progress box is
// shown, and the result box's text; then a real click on its button (« Oui » or « OK »).
struct ResultBoxLeftOpen {
    bool progressShown = false;
    bool boxFound = false;
    QString text;

    // Armed before the command starts: the box's own event loop runs this.
    void arm(int openMs) {
        QTimer::singleShot(openMs, [this] {
            QMessageBox* box = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (qobject_cast<QProgressDialog*>(w) && w->isVisible()) progressShown = true;
                if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
            }
            if (!box) return;
            boxFound = true;
            text = box->text();
            if (const QString shot = qEnvironmentVariable("VANTOREL_RESULT_SCREENSHOT"); !shot.isEmpty())
                run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), shot});
            QAbstractButton* button = box->buttons().value(0);
            click(*box, button->mapTo(box, button->rect().center()));
            // A box the click did not close is closed here, so that the test goes on to fail.
            QTimer::singleShot(3000, box, [this, box] {
                if (!box->isVisible()) return;
                clickIgnored = true;
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* progress = qobject_cast<QProgressDialog*>(w)) progress->hide();
                box->done(0);
            });
        });
    }
    bool clickIgnored = false;
    // The box went away after the click: its button took it.
    static bool closed() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) && w->isVisible()) return false;
        return true;
    }
};

// The real message boxes and the real progress box: once a command is over, its result box is the only
// box, and its button answers. A progress box left behind used to show again over it, taking the
// clicks, and with « Annuler » as if the copies had not been written.
TEST_F(UnderWindowManager, NoProgressBoxOverTheResultBox) {
    QTemporaryDir dir;
    QStringList photos;
    for (int i = 0; i < 5; ++i) {
        photos << dir.filePath(QStringLiteral("photo%1.jpg").arg(i));
        ASSERT_TRUE(QFile::copy(
            QDir(QStringLiteral(VANTOREL_SAMPLES_DIR)).filePath("exiv2_FurnaceCreekInn.jpg"), photos.last()));
    }
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    FakeConnectivity connectivity;
    RecordingExternalBrowser browser;
    MainWindow window(WindowServices{nullptr, &clipboard, &dialogs, &connectivity, &browser});
    window.showThen([&] { window.openPaths(photos); });
    QTRY_COMPARE_WITH_TIMEOUT(window.windowTitle(), photos.last(), 10000); // the last dropped is shown
    auto* list = window.findChild<QTableView*>(QStringLiteral("ListBox1"));
    const auto buttonCentre = [&](const char* name) {
        return window.findChild<QPushButton*>(QLatin1String(name))->geometry().center();
    };
    struct Case {
        const char* name;
        bool several;
        const char* button;
        const char* result;
    };
    for (const Case& k : {Case{"one photo written", false, "BitBtn5", "avec succès"},
                          Case{"one photo erased", false, "BitBtn23", "avec succès"},
                          Case{"four photos written", true, "BitBtn5", "Écrits : 4"}}) {
        SCOPED_TRACE(k.name);
        if (k.several) {
            // The four photos not written yet, beside the one shown.
            const QStringList& entries = window.controller().controls().ListBox1;
            QItemSelection rows;
            for (int i = 0; i < 4; ++i) {
                const QModelIndex row = list->model()->index(int(entries.indexOf(photos[i])), 0);
                rows.select(row, row);
            }
            list->selectionModel()->select(rows,
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        ResultBoxLeftOpen watch;
        watch.arm(2000);
        click(window, buttonCentre(k.button));
        QTRY_VERIFY_WITH_TIMEOUT(watch.boxFound, 15000);
        EXPECT_FALSE(watch.progressShown);
        QTRY_VERIFY_WITH_TIMEOUT(ResultBoxLeftOpen::closed(), 5000);
        EXPECT_FALSE(watch.clickIgnored);
        EXPECT_TRUE(watch.text.contains(QString::fromUtf8(k.result))) << watch.text.toStdString();
    }
    for (const QString& photo : photos)
        EXPECT_TRUE(QFile::exists(QFileInfo(photo).dir().filePath(u'#' + QFileInfo(photo).fileName())));
}

const char kTrack[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1"><trk><trkseg>
<trkpt lat="48.0" lon="2.0"><time>2024-06-01T12:00:00Z</time></trkpt>
<trkpt lat="49.0" lon="3.0"><time>2024-06-01T13:00:00Z</time></trkpt>
</trkseg></trk></gpx>
)";

// The track dialog's copies, with the real progress box: « N copies écrites. » is what shows, and its
// button answers.
TEST_F(UnderWindowManager, TrackCopiesSummaryIsNotHidden) {
    QTemporaryDir dir;
    QStringList photos;
    for (int i = 0; i < 12; ++i)
        photos << makeJpeg(
            dir.path(), QStringLiteral("p%1.jpg").arg(i),
            {asciiItem(0x9003,
                       QStringLiteral("2024:06:01 14:%1:00").arg(i + 10, 2, 10, QLatin1Char('0')).toLatin1()),
             asciiItem(0x9011, "+02:00")});
    const QString track = dir.filePath(QStringLiteral("day.gpx"));
    QFile file(track);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kTrack);
    file.close();
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    dialogs.tracks = QStringList{track};
    FakeConnectivity connectivity;
    RecordingExternalBrowser browser;
    MainWindow window(WindowServices{nullptr, &clipboard, &dialogs, &connectivity, &browser});
    window.showThen([&] { window.openPaths(photos); });
    QTRY_COMPARE_WITH_TIMEOUT(window.controller().controls().ListBox1.size(), 12, 10000);
    TrackDialog* dialog = window.openTrackDialog();
    ASSERT_TRUE(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 5000);
    dialog->addTracks();
    // The Position column in the locale's numbers, wide enough for its text.
    auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("trackTable"));
    const QString place = table->item(0, TrackPlace)->text();
    EXPECT_TRUE(place.startsWith(QStringLiteral("48,")) && place.contains(QStringLiteral(" ; 2,")))
        << place.toStdString();
    QTRY_VERIFY_WITH_TIMEOUT(table->columnWidth(TrackPlace) >= table->fontMetrics().horizontalAdvance(place),
                             5000);
    ResultBoxLeftOpen watch;
    watch.arm(2000);
    QWidget* write = dialog->findChild<QWidget*>(QStringLiteral("writeCopies"));
    click(*dialog, write->mapTo(dialog, write->rect().center()));
    QTRY_VERIFY_WITH_TIMEOUT(watch.boxFound, 15000);
    EXPECT_FALSE(watch.progressShown);
    QTRY_VERIFY_WITH_TIMEOUT(ResultBoxLeftOpen::closed(), 5000);
    EXPECT_FALSE(watch.clickIgnored);
    EXPECT_TRUE(watch.text.startsWith(QStringLiteral("12 copies écrites."))) << watch.text.toStdString();
    dialog->close();
}

} // namespace
