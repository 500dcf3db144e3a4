// SPDX-License-Identifier: GPL-3.0-or-later
// Test doubles for the desktop services: they answer like a user would and record what was asked.
#pragma once

#include "controller/platform.h"

#include <QStringList>
#include <functional>

namespace vantorel::test {

struct RecordingBoxes : MessageBoxes {
    QStringList messages, warnings;
    int beeps = 0;
    QStringList informations, questions;
    bool answerYes = false; // the answer to every Yes/Cancel question
    void showMessage(const QString& text) override { messages << text; }
    void warning(const QString& text) override { warnings << text; }
    void beep() override { ++beeps; }
    void information(const QString& text) override { informations << text; }
    bool warningYesCancel(const QString& text) override {
        questions << text;
        return answerYes;
    }
    Answer answer = Answer::Cancel; // the answer to every Yes/No/Cancel question
    Answer warningYesNoCancel(const QString& text) override {
        questions << text;
        return answer;
    }
    QStringList errors, confirmations;
    void error(const QString& text) override { errors << text; }
    void confirmation(const QString& text) override { confirmations << text; }
    QStringList yesWarnings;
    void warningYes(const QString& text) override { yesWarnings << text; }
};

struct FakeClipboard : Clipboard {
    std::optional<QString> content;
    std::optional<QString> text() override { return content; }
    void setText(const QString& text) override { content = text; }
};

struct FakeDialogs : FileDialogs {
    std::optional<QStringList> chosen;
    int opened = 0;
    std::function<void()> whileOpen; // what the user does while the dialog is up
    std::optional<QStringList> openPictures() override {
        ++opened;
        if (whileOpen) whileOpen();
        return chosen;
    }
    // The save dialog: what it was opened with, and the path the user chooses (none: cancel).
    std::optional<QString> savePath;
    QString saveFolder, saveName;
    int saveOpened = 0;
    std::optional<QString> saveGpx(const QString& folder, const QString& fileName) override {
        ++saveOpened;
        saveFolder = folder;
        saveName = fileName;
        return savePath;
    }
    // The track files' dialog: the files the user chooses (none: cancel).
    std::optional<QStringList> tracks;
    int tracksOpened = 0;
    std::optional<QStringList> openTracks() override {
        ++tracksOpened;
        return tracks;
    }
};

struct FakeConnectivity : Connectivity {
    ConnectionState result = ConnectionState::Online;
    ConnectionState CheckInternetConnection() override { return result; }
};

struct RecordingBrowser : BrowserView {
    QStringList navigations;
    void navigate(const QString& url) override { navigations << url; }
    QList<QByteArray> pages; // every map page shown, as the program built it
    void showPage(const QString& pagePath, const QByteArray& page) override {
        pages << page;
        navigate(pagePath);
    }
    QList<QByteArray> pictures; // every picture shown, as the program read it
    void showPicture(const QString& path, const QByteArray& picture) override {
        pictures << picture;
        navigate(path);
    }
    // What the real view does once a page has loaded.
    void finishLoading(const QString& url) { navigationFinished(url); }
};

struct RecordingExternalBrowser : ExternalBrowser {
    DefaultBrowser answer{QStringLiteral("firefox.desktop"), QStringLiteral("xdg-settings")};
    QStringList programsOnPath; // full paths findProgram can find
    struct Launch {
        QString program;
        QStringList arguments;
    };
    QList<Launch> launches;
    bool launchSucceeds = true;
    int asked = 0;  // how many times the default browser was asked
    QString served; // what pageAddress answers (empty: the program cannot serve the page)
    DefaultBrowser defaultBrowser() override {
        ++asked;
        return answer;
    }
    QString pageAddress(const QByteArray&) override { return served; }
    QString findProgram(const QStringList& names) override {
        for (const QString& name : names)
            for (const QString& path : programsOnPath)
                if (path.endsWith(QLatin1Char('/') + name)) return path;
        return {};
    }
    bool launch(const QString& program, const QStringList& arguments) override {
        launches.append({program, arguments});
        return launchSucceeds;
    }
};

struct CountingPump : EventPump {
    int count = 0;
    // What happens while the window handles events (another program changing files, say).
    std::function<void()> whileProcessing;
    void processMessages() override {
        ++count;
        if (whileProcessing) whileProcessing();
    }
};

struct RecordingProgress : Progress {
    QStringList labels;  // one per task started
    QList<int> advances; // every step reported, in order
    int finished = 0;
    int cancelAfter = -1; // the user cancels once this many steps are reported (-1: never)
    void start(const QString& label, int) override { labels << label; }
    bool advance(int done) override {
        advances << done;
        return cancelAfter < 0 || advances.size() < cancelAfter;
    }
    void finish() override { ++finished; }
};

// Every double, and the Platform made of them.
struct FakePlatform {
    RecordingBoxes boxes;
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    FakeConnectivity connectivity;
    RecordingBrowser browser;
    CountingPump pump;
    RecordingExternalBrowser externalBrowser;
    RecordingProgress progress;
    Platform platform() {
        return Platform{boxes, clipboard, dialogs, connectivity, browser, pump, externalBrowser, progress};
    }
};

} // namespace vantorel::test
