// SPDX-License-Identifier: GPL-3.0-or-later
// What the window benchmarks share: quiet desktop services, a real drop, and the longest time the
// window went without a pass of its event loop (where it repaints) from a command's start to its end.
#pragma once

#include "controller/platform.h"
#include "mainwindow.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <memory>

namespace benchwindow {

struct QuietBoxes : vantorel::MessageBoxes {
    void showMessage(const QString&) override {}
    void warning(const QString&) override {}
    void beep() override {}
    void information(const QString&) override {}
    bool warningYesCancel(const QString&) override { return false; }
    void error(const QString&) override {}
    void confirmation(const QString&) override {}
    void warningYes(const QString&) override {}
    Answer warningYesNoCancel(const QString&) override { return Answer::Cancel; }
};
struct NoClipboard : vantorel::Clipboard {
    std::optional<QString> text() override { return std::nullopt; }
    void setText(const QString&) override {}
};
struct NoDialogs : vantorel::FileDialogs {
    QString gpxTarget; // what the "Export Gpx" dialog answers; empty: cancelled
    std::optional<QStringList> openPictures() override { return std::nullopt; }
    std::optional<QString> saveGpx(const QString&, const QString&) override {
        return gpxTarget.isEmpty() ? std::nullopt : std::optional<QString>(gpxTarget);
    }
};
struct Online : vantorel::Connectivity {
    vantorel::ConnectionState CheckInternetConnection() override { return vantorel::ConnectionState::Online; }
};

struct NoBrowser : vantorel::ExternalBrowser {
    DefaultBrowser defaultBrowser() override { return {}; }
    QString findProgram(const QStringList&) override { return {}; }
    bool launch(const QString&, const QStringList&) override { return true; }
};

struct Services {
    QuietBoxes boxes;
    NoClipboard clipboard;
    NoDialogs dialogs;
    Online online;
    NoBrowser browser;
    vantorel::WindowServices window() { return {&boxes, &clipboard, &dialogs, &online, &browser}; }
};

// The longest stretch between the start of a command, the passes of the event loop during it, and
// its end.
class GapMeter {
public:
    GapMeter() {
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [this] {
            if (m_running) mark();
        });
    }
    template <typename F> qint64 measure(F&& command) {
        m_longest = 0;
        m_running = true;
        m_last.start();
        command();
        mark();
        m_running = false;
        return m_longest;
    }

private:
    void mark() { m_longest = std::max(m_longest, m_last.restart()); }
    QElapsedTimer m_last;
    qint64 m_longest = 0;
    bool m_running = false;
};

// What a file manager hands over when files are dragged (made before the drop is timed).
inline std::unique_ptr<QMimeData> dragData(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    urls.reserve(paths.size());
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    data->setUrls(urls);
    return data;
}

// Drops on the window as a file manager does: the drag enters, then drops.
inline void drop(QWidget* window, QMimeData* data) {
    QDragEnterEvent enter(QPoint(50, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QDropEvent event(QPointF(50, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

} // namespace benchwindow
