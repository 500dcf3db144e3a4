// "Géocodé" in the real window (offscreen) on many photos: how long the drop and the list-wide
// command take, and the longest stretch without repainting (the window's responsiveness).
//   geocode_bench PHOTO...      (e.g. the photos made by bench/poi_bench.sh)
#include "app/platform.h"
#include "mainwindow.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

namespace {

struct QuietBoxes : vantorel::MessageBoxes {
    void showMessage(const QString&) override {}
    void warning(const QString&) override {}
    void beep() override {}
    void information(const QString&) override {}
    bool warningYesCancel(const QString&) override { return false; }
};
struct NoClipboard : vantorel::Clipboard {
    std::optional<QString> text() override { return std::nullopt; }
};
struct NoDialogs : vantorel::FileDialogs {
    std::optional<QStringList> openPictures() override { return std::nullopt; }
    std::optional<QString> saveGpx(const QString&, const QString&) override { return std::nullopt; }
};
struct Online : vantorel::Connectivity {
    vantorel::ConnectionState CheckInternetConnection() override { return vantorel::ConnectionState::Online; }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList photos;
    for (const QString& arg : app.arguments().mid(1))
        photos << QFileInfo(arg).absoluteFilePath();
    if (photos.isEmpty()) {
        std::fprintf(stderr, "usage: geocode_bench PHOTO...\n");
        return 2;
    }
    QuietBoxes boxes;
    NoClipboard clipboard;
    NoDialogs dialogs;
    Online online;
    vantorel::MainWindow window({&boxes, &clipboard, &dialogs, &online});
    window.show();
    window.startUp(QDir::currentPath(), {});

    // The longest gap between two passes of the event loop while the commands run.
    QElapsedTimer sinceLoop;
    qint64 longestGap = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [&] {
        if (sinceLoop.isValid())
            longestGap = std::max(longestGap, sinceLoop.restart());
        else
            sinceLoop.start();
    });

    QElapsedTimer t;
    t.start();
    window.openPaths(photos);
    const qint64 dropMs = t.restart();
    sinceLoop.invalidate();
    longestGap = 0;
    window.controller().BitBtn15Click();
    window.sync();
    const qint64 geocodeMs = t.elapsed();
    std::printf("photos: %lld\ndrop (list + pipeline on one photo): %lld ms\n"
                "Géocodé: %lld ms, %lld kept, longest time without repaint: %lld ms\n",
                qint64(photos.size()), dropMs, geocodeMs,
                qint64(window.controller().controls().ListBox1.size()), longestGap);
    return 0;
}
