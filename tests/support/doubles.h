// Test doubles for the desktop services: they answer like a user would and record what was asked.
#pragma once

#include "app/platform.h"

#include <QStringList>
#include <functional>

namespace vantorel::test {

struct RecordingBoxes : MessageBoxes {
    QStringList messages, warnings;
    int beeps = 0;
    void showMessage(const QString& text) override { messages << text; }
    void warning(const QString& text) override { warnings << text; }
    void beep() override { ++beeps; }
};

struct FakeClipboard : Clipboard {
    std::optional<QString> content;
    std::optional<QString> text() override { return content; }
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
};

struct FakeConnectivity : Connectivity {
    int result = 0;
    int CheckInternetConnection() override { return result; }
};

struct RecordingBrowser : BrowserView {
    QStringList navigations;
    void navigate(const QString& url) override { navigations << url; }
};

struct CountingPump : EventPump {
    int count = 0;
    void processMessages() override { ++count; }
};

// Every double, and the Platform made of them.
struct FakePlatform {
    RecordingBoxes boxes;
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    FakeConnectivity connectivity;
    RecordingBrowser browser;
    CountingPump pump;
    Platform platform() { return Platform{boxes, clipboard, dialogs, connectivity, browser, pump}; }
};

} // namespace vantorel::test
