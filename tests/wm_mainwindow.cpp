// The main window on an X display under a window manager (openbox), run by
// tests/support/under-openbox.sh: where the window manager puts the frame is what these tests look
// at, so they read it back from X itself.
#include "doubles.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
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

} // namespace
