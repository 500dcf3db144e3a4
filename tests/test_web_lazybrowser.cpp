// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with the real web engine: its controls paint before the engine starts; the view
// is made right after the first paint, or at once for a map asked before, and still hands the
// loads and the map's clicks to the commands.
#include "doubles.h"
#include "lazybrowser.h"
#include "mainwindow.h"
#include "overviewwindow.h"
#include "pageserver.h"
#include "webmapview.h"
#include "webtest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

// Counts the paints of a window (its own and its children's) up to a moment.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Waits for `condition`, letting events through; what it returns is the last answer.
template <typename F> bool waitUntil(F condition, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < milliseconds)
        QTest::qWait(20);
    return condition();
}

struct LazyWindow : ::testing::Test {
    RecordingBoxes boxes;
    FakeDialogs dialogs;
    FakeConnectivity connectivity;
    RecordingExternalBrowser external;
    RecordingProgress progress;
    QTemporaryDir dir;

    std::unique_ptr<MainWindow> makeWindow() {
        return std::make_unique<MainWindow>(
            WindowServices{&boxes, nullptr, &dialogs, &connectivity, &external, &progress, true});
    }
    // A photo without a position, listed and shown.
    QString photoWithoutPosition() {
        const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
        QFile::copy(
            QDir(QStringLiteral(VANTOREL_SAMPLES_DIR)).filePath(QStringLiteral("exifsamples_Canon_40D.jpg")),
            photo);
        return photo;
    }
};

TEST_F(LazyWindow, ControlsPaintFirstThenTheViewIsMade) {
    const auto window = makeWindow();
    // Built, with its controls, and no engine yet: neither in the window nor in the overview's.
    ASSERT_TRUE(window->findChild<QPushButton*>(QStringLiteral("BitBtn20")));
    ASSERT_TRUE(window->findChild<QLineEdit*>(QStringLiteral("Edit7")));
    EXPECT_FALSE(window->findChild<QWebEngineView*>());
    EXPECT_FALSE(window->overview()->findChild<QWebEngineView*>());
    auto* lazy = window->findChild<LazyBrowser*>();
    ASSERT_TRUE(lazy);
    EXPECT_EQ(lazy->geometry(), QRect(8, 260, 341, 341));

    // What the commands ask before then is shown once the view is there.
    window->browser()->navigate(QStringLiteral("about:blank"));
    EXPECT_FALSE(lazy->view());

    PaintCounter counter;
    window->installEventFilter(&counter);
    int paintsBeforeView = -1;
    QObject::connect(lazy, &LazyBrowser::viewCreated, lazy, [&] { paintsBeforeView = counter.paints; });
    window->show();
    ASSERT_TRUE(waitUntil([&] { return lazy->view(); }, 10000));
    window->removeEventFilter(&counter);
    EXPECT_GT(paintsBeforeView, 0) << "the window painted before the engine started";
    auto* view = window->findChild<QWebEngineView*>(QStringLiteral("CppWebBrowser1"));
    ASSERT_EQ(view, lazy->view());
    EXPECT_EQ(static_cast<WebMapView*>(view)->lastNavigation(), QStringLiteral("about:blank"));
    ASSERT_TRUE(waitUntil([&] { return view->isVisible() && view->geometry() == lazy->rect(); }, 5000));
    // The overview's view waits for the overview.
    EXPECT_FALSE(window->overview()->findChild<QWebEngineView*>());
}

TEST_F(LazyWindow, AMapAskedBeforeThePaintMakesTheViewAndReachesTheCommands) {
    const auto window = makeWindow();
    window->startUp({});
    const QString photo = photoWithoutPosition();
    window->openPaths({photo});
    ASSERT_TRUE(waitUntil([&] { return window->windowTitle() == photo; }, 10000))
        << window->windowTitle().size();
    auto* lazy = window->findChild<LazyBrowser*>();
    ASSERT_TRUE(lazy);
    ASSERT_FALSE(lazy->view());

    // The map to place the photo on: asked for before the window ever painted.
    auto* place = window->findChild<QPushButton*>(QStringLiteral("PlaceOnMap"));
    ASSERT_TRUE(place);
    place->click();
    ASSERT_TRUE(lazy->view()) << "a map makes the view at once";
    WebMapView* view = lazy->view();
    EXPECT_EQ(view->objectName(), QStringLiteral("CppWebBrowser1"));
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    window->show();
    ASSERT_TRUE(waitUntil([&] { return !loaded.isEmpty(); }, 20000));
    EXPECT_TRUE(loaded.first().first().toBool());
    EXPECT_TRUE(sharedPageServer().serves(view->page()->url()))
        << view->page()->url().toString().toStdString();
    EXPECT_FALSE(window->controller().controls().Label11Visible) << "the load reached the commands";

    // A click on the map, as the page's script reports it, fills the position fields.
    auto* edit7 = window->findChild<QLineEdit*>(QStringLiteral("Edit7"));
    auto* edit8 = window->findChild<QLineEdit*>(QStringLiteral("Edit8"));
    view->bridge()->pick(45.25, 6.5);
    ASSERT_TRUE(waitUntil([&] { return edit7->text() == QStringLiteral("45,25000"); }, 5000))
        << edit7->text().toStdString();
    EXPECT_EQ(edit8->text(), QStringLiteral("6,50000"));
    // Made once: a later paint makes no other.
    window->update();
    QTest::qWait(50);
    EXPECT_EQ(window->findChildren<QWebEngineView*>().size(), 1);
}

// The folder the window is started from holds a hidden page and a link to it named like the
// program's picture of a photo without position (one unpacked archive is enough): the view shows
// the data folder's picture, from memory, and the page never runs.
TEST_F(LazyWindow, APictureNamedLikeOursInTheWorkingFolderNeverLoads) {
    TileServer listener;
    const QString noGeotag = QString::fromUtf8("PhotoPasGeocodée.gif");
    QFile page(dir.filePath(QStringLiteral(".p.htm")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write(QStringLiteral("<html><body><script>new Image().src = 'http://127.0.0.1:%1/ran';"
                              "fetch('file:///etc/hostname').then(function (r) { return r.text(); })"
                              ".then(function (t) { new Image().src = 'http://127.0.0.1:%1/' + t; });"
                              "</script></body></html>")
                   .arg(listener.server.serverPort())
                   .toUtf8());
    page.close();
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral(".p.htm")), dir.filePath(noGeotag)));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral(".p.htm")), dir.filePath("GeolocEnCours.gif")));
    QTemporaryDir data;
    const QString source = QStringLiteral(VANTOREL_SOURCE_DIR) + QStringLiteral("/data/") + noGeotag;
    ASSERT_TRUE(QFile::copy(source, data.filePath(noGeotag)));
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));

    const auto window = makeWindow();
    window->startUp({data.path()});
    window->controller().controls().CheckBox4 = true;
    window->show();
    window->openPaths({photoWithoutPosition()});
    auto* lazy = window->findChild<LazyBrowser*>();
    ASSERT_TRUE(waitUntil([&] { return lazy->view() != nullptr; }, 10000));
    WebMapView* view = lazy->view();
    ASSERT_TRUE(
        waitUntil([&] { return view->page()->url().path().endsWith(QStringLiteral("/image")); }, 20000))
        << view->page()->url().toString().toStdString();
    EXPECT_TRUE(sharedPageServer().serves(view->page()->url()));
    ASSERT_TRUE(
        waitUntil([&] { return evaluate(*view, "document.contentType").toString() == "image/gif"; }, 10000));
    // The picture shown is the data folder's (its width, as the browser decoded it).
    QFile gif(source);
    ASSERT_TRUE(gif.open(QIODevice::ReadOnly));
    const QByteArray header = gif.read(10);
    const int width = uchar(header[6]) | uchar(header[7]) << 8;
    EXPECT_EQ(evaluate(*view, "document.images.length ? document.images[0].naturalWidth : -1").toInt(),
              width);
    QTest::qWait(500);
    EXPECT_TRUE(listener.requests.isEmpty()) << listener.requests.value(0).constData();
    QDir::setCurrent(saved);
}

TEST_F(LazyWindow, TheOverviewViewIsMadeForItsFirstMap) {
    OverviewWindow overview(true);
    EXPECT_FALSE(overview.findChild<QWebEngineView*>());
    QStringList completed;
    overview.browser().CppWebBrowser1NavigateComplete2 = [&](const QString& url) { completed << url; };
    overview.browser().showPage(dir.filePath(QStringLiteral("overview.html")), "<p id=o>overview</p>");
    auto* view = overview.findChild<WebMapView*>(QStringLiteral("CppWebBrowser2"));
    ASSERT_TRUE(view);
    ASSERT_TRUE(waitUntil(
        [&] { return completed == QStringList{dir.filePath(QStringLiteral("overview.html"))}; }, 20000))
        << completed.size();
    EXPECT_EQ(evaluate(*view, QStringLiteral("document.getElementById('o').textContent")).toString(),
              QStringLiteral("overview"));
}

} // namespace
