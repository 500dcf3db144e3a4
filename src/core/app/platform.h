// The services the commands need from the desktop, each behind a small interface so that tests
// answer a message box or record a navigation without a screen.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace vantorel {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A plain notice with an "OK" button.
    virtual void showMessage(const QString& text) = 0;
    // A warning with an "OK" button.
    virtual void warning(const QString& text) = 0;
    // The system's beep, for a refused action.
    virtual void beep() = 0;
};

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // The clipboard's plain text; nothing when it holds no text.
    virtual std::optional<QString> text() = 0;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The multi-select picture dialog; nothing when the user cancels.
    virtual std::optional<QStringList> openPictures() = 0;
};

class Connectivity {
public:
    virtual ~Connectivity() = default;
    // 0 connected, 1 not connected, 2 no network service to ask, 3 the service cannot tell.
    virtual int CheckInternetConnection() = 0;
};

class BrowserView {
public:
    virtual ~BrowserView() = default;
    // Shows a page or a picture (a local path or a URL such as "about:blank").
    virtual void navigate(const QString& url) = 0;
};

class EventPump {
public:
    virtual ~EventPump() = default;
    // Lets the window repaint what the commands changed so far.
    virtual void processMessages() = 0;
};

struct Platform {
    MessageBoxes& boxes;
    Clipboard& clipboard;
    FileDialogs& dialogs;
    Connectivity& connectivity;
    BrowserView& browser;
    EventPump& pump;
};

} // namespace vantorel
