// SPDX-License-Identifier: GPL-3.0-or-later
// Several photos, positions as people write them and a place on the map, in the main window on an
// X display under a window manager (openbox), driven with xdotool as a user would: Shift and Ctrl
// clicks in the list, Ctrl+V in a coordinate field, clicks on the embedded map, the write button.
#include "doubles.h"
#include "geotag/geotagcopy.h"
#include "mainwindow.h"
#include "metadata/gpscoordinates.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStyleHints>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QWebEngineView>
#include <QWindow>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

void xdotool(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    p.waitForFinished(5000);
}

// A click at `at` in `widget`, with keys held (ctrl, shift) when given.
void click(const QWidget& widget, QPoint at, const QString& held = {}) {
    const QPoint global = widget.mapToGlobal(at);
    QStringList args{QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())};
    if (!held.isEmpty()) args << QStringLiteral("keydown") << held;
    args << QStringLiteral("click") << QStringLiteral("1");
    if (!held.isEmpty()) args << QStringLiteral("keyup") << held;
    xdotool(args);
}

QString position(const QString& path) {
    QString lat, lon;
    const CoordinateReading r = ReadGpsCoordinates(path, lat, lon);
    return r.geotagged ? r.signedLatitude + " " + r.signedLongitude : QString("-");
}

class SeveralPhotosUnderWindowManager : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wm = new QProcess;
        wm->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        ASSERT_TRUE(wm->waitForStarted());
    }
    static void TearDownTestSuite() {
        wm->terminate();
        wm->waitForFinished();
        delete wm;
    }
    static inline QProcess* wm = nullptr;

    RecordingBoxes boxes;
    FakeDialogs dialogs;
    FakeConnectivity connectivity;
    RecordingExternalBrowser browser;
    RecordingProgress progress;
    QTemporaryDir dir;
    QStringList photos;

    // The window on screen with `count` copies of a sample listed, the clipboard the real one.
    std::unique_ptr<MainWindow> showWindow(int count, const char* sample = "exiv2_FurnaceCreekInn.jpg",
                                           bool webEngine = false) {
        for (int i = 0; i < count; ++i) {
            photos << dir.filePath(QStringLiteral("photo%1.jpg").arg(i));
            QFile::copy(QDir(QStringLiteral(VANTOREL_SAMPLES_DIR)).filePath(QLatin1String(sample)),
                        photos.last());
        }
        auto window = std::make_unique<MainWindow>(
            WindowServices{&boxes, nullptr, &dialogs, &connectivity, &browser, &progress, webEngine});
        bool started = false;
        window->showThen([&] {
            window->startUp({});
            window->openPaths(photos);
            started = true;
        });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(started && window->windowTitle() == photos.last(), 10000); }();
        window->activateWindow();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(window->isActiveWindow(), 5000); }();
        return window;
    }
};

TEST_F(SeveralPhotosUnderWindowManager, ThreePhotosSelectedGetAPastedPositionAtOnce) {
    const auto window = showWindow(3);
    auto* list = window->findChild<QTableView*>(QStringLiteral("ListBox1"));
    auto* edit7 = window->findChild<QLineEdit*>(QStringLiteral("Edit7"));
    auto* edit8 = window->findChild<QLineEdit*>(QStringLiteral("Edit8"));
    const auto rowCentre = [&](int row) { return list->visualRect(list->model()->index(row, 0)).center(); };

    // A click on the first, a Shift click on the third: three selected, the third shown.
    click(*list->viewport(), rowCentre(0));
    QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), photos[0], 5000);
    click(*list->viewport(), rowCentre(2), QStringLiteral("shift"));
    QTRY_COMPARE_WITH_TIMEOUT(list->selectionModel()->selectedRows().size(), 3, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), photos[2], 5000);
    // Ctrl on the middle one leaves two, Ctrl again three.
    click(*list->viewport(), rowCentre(1), QStringLiteral("ctrl"));
    QTRY_COMPARE_WITH_TIMEOUT(list->selectionModel()->selectedRows().size(), 2, 5000);
    // A second click on the same row sooner would be a double-click, which selects nothing.
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    click(*list->viewport(), rowCentre(1), QStringLiteral("ctrl"));
    QTRY_COMPARE_WITH_TIMEOUT(list->selectionModel()->selectedRows().size(), 3, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), photos[1], 5000);

    // Degrees, minutes and seconds pasted into Edit7 fill both fields in the locale's format.
    QGuiApplication::clipboard()->setText(QStringLiteral("33°51'24.5\"S 151°12'55\"E"));
    click(*edit7, QPoint(10, 10));
    QTRY_VERIFY_WITH_TIMEOUT(edit7->hasFocus(), 5000);
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+v")});
    QTRY_COMPARE_WITH_TIMEOUT(edit7->text(), QStringLiteral("-33,85681"), 5000);
    EXPECT_EQ(edit8->text(), QStringLiteral("151,21528"));
    EXPECT_NE(edit7->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base))
        << "the changed fields light up";
    QTRY_COMPARE_WITH_TIMEOUT(edit7->palette().color(QPalette::Base),
                              QApplication::palette().color(QPalette::Base), 5000);

    // One number pasted is pasted as it always was: nothing else changes.
    QGuiApplication::clipboard()->setText(QStringLiteral("12"));
    click(*edit8, QPoint(10, 10));
    xdotool({QStringLiteral("key"), QStringLiteral("End"), QStringLiteral("ctrl+v")});
    QTRY_COMPARE_WITH_TIMEOUT(edit8->text(), QStringLiteral("151,2152812"), 5000);
    EXPECT_EQ(edit7->text(), QStringLiteral("-33,85681"));
    xdotool({QStringLiteral("key"), QStringLiteral("BackSpace"), QStringLiteral("BackSpace")});
    QTRY_COMPARE_WITH_TIMEOUT(edit8->text(), QStringLiteral("151,21528"), 5000);

    // A position refused (beyond 90°) is said, and its text stays out of both fields.
    QGuiApplication::clipboard()->setText(QStringLiteral("91.5, 2.25"));
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+v")});
    QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 5000);
    EXPECT_EQ(edit8->text(), QStringLiteral("151,21528"));
    EXPECT_EQ(edit7->text(), QStringLiteral("-33,85681"));

    // The write button: three copies, one summary.
    auto* write = window->findChild<QWidget*>(QStringLiteral("BitBtn5"));
    click(*write, write->rect().center());
    QTRY_COMPARE_WITH_TIMEOUT(boxes.confirmations.size(), 1, 10000);
    for (const QString& photo : photos)
        // 151,21528 is written as 151° 12.9168', which the reader's single-precision value shows as
        // 151,21529, as for one photo's copy.
        EXPECT_EQ(position(copyPathFor(photo, kGeotaggedPrefix)), "-33,85681 151,21529");
    EXPECT_TRUE(boxes.confirmations[0].contains(QStringLiteral("Écrits : 3")));
    EXPECT_TRUE(boxes.questions.isEmpty());
    EXPECT_TRUE(boxes.errors.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(list->model()->rowCount(), 6, 5000);
}

QVariant evaluate(QWebEngineView& view, const QString& code) {
    QVariant result;
    bool done = false;
    view.page()->runJavaScript(code, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    [&] { QTRY_VERIFY_WITH_TIMEOUT(done, 5000); }();
    return result;
}

TEST_F(SeveralPhotosUnderWindowManager, APhotoWithoutPositionIsPlacedByClicksOnTheMap) {
    const auto window = showWindow(1, "exifsamples_Canon_40D.jpg", true);
    auto* place = window->findChild<QWidget*>(QStringLiteral("PlaceOnMap"));
    // The web view is made once the window has painted.
    QTRY_VERIFY_WITH_TIMEOUT(window->findChild<QWebEngineView*>(QStringLiteral("CppWebBrowser1")), 5000);
    auto* map = window->findChild<QWebEngineView*>(QStringLiteral("CppWebBrowser1"));
    auto* edit7 = window->findChild<QLineEdit*>(QStringLiteral("Edit7"));
    auto* edit8 = window->findChild<QLineEdit*>(QStringLiteral("Edit8"));
    ASSERT_TRUE(place);
    ASSERT_TRUE(map);
    QTRY_VERIFY_WITH_TIMEOUT(place->isVisible(), 5000);
    click(*place, place->rect().center());
    QTRY_VERIFY_WITH_TIMEOUT(evaluate(*map, "typeof vantorelPicks === 'function' && document.readyState === "
                                            "'complete' && !!document.querySelector('.leaflet-container')")
                                 .toBool(),
                             30000);
    // The channel to the window is up once the page has run its script.
    const auto marker = [&] {
        return evaluate(*map, "window.vantorelMarker ? vantorelMarker.getLatLng().lat.toFixed(5) + ' ' + "
                              "vantorelMarker.getLatLng().lng.toFixed(5) : ''")
            .toString()
            .replace(u'.', u',');
    };
    EXPECT_EQ(marker(), QString());
    // Clicked until the channel answers (it connects shortly after the load).
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            click(*map, map->rect().center());
            return !edit7->text().isEmpty();
        }(),
        20000);
    const QString first = edit7->text() + u' ' + edit8->text();
    QTRY_COMPARE_WITH_TIMEOUT(marker(), first, 5000);

    // Another click moves the marker and the fields follow.
    click(*map, map->rect().center() + QPoint(70, 50));
    QTRY_VERIFY_WITH_TIMEOUT(edit7->text() + u' ' + edit8->text() != first, 5000);
    const QString second = edit7->text() + u' ' + edit8->text();
    QTRY_COMPARE_WITH_TIMEOUT(marker(), second, 5000);

    // Written as usual.
    auto* write = window->findChild<QWidget*>(QStringLiteral("BitBtn5"));
    click(*write, write->rect().center());
    QTRY_COMPARE_WITH_TIMEOUT(boxes.confirmations.size(), 1, 10000);
    EXPECT_EQ(position(copyPathFor(photos[0], kGeotaggedPrefix)), second);
}

} // namespace
