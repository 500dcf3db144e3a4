// SPDX-License-Identifier: GPL-3.0-or-later
// The services the commands need from the desktop, each behind a small interface so that tests
// answer a message box or record a navigation without a screen.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
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
    // An information box with an "OK" button.
    virtual void information(const QString& text) = 0;
    // A warning with "Oui" and "Annuler" buttons: true for "Oui"; closing the box is "Annuler".
    virtual bool warningYesCancel(const QString& text) = 0;
    // An error with one "Oui" button.
    virtual void error(const QString& text) = 0;
    // A confirmation with one "Oui" button.
    virtual void confirmation(const QString& text) = 0;
    // A warning with one "Oui" button.
    virtual void warningYes(const QString& text) = 0;
    // A warning with "Oui", "Non" and "Annuler" buttons; closing the box is "Annuler".
    enum class Answer { Yes, No, Cancel };
    virtual Answer warningYesNoCancel(const QString& text) = 0;
};

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // The clipboard's plain text; nothing when it holds no text.
    virtual std::optional<QString> text() = 0;
    // Puts a plain text on the clipboard.
    virtual void setText(const QString& text) = 0;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The multi-select picture dialog; nothing when the user cancels.
    virtual std::optional<QStringList> openPictures() = 0;
    // SaveDialog1, the GPX file's save dialog, opened in `folder` on `fileName`: the chosen path
    // (".gpx" added when the user typed no extension); nothing when the user cancels. It asks
    // nothing about an existing file: the command does.
    virtual std::optional<QString> saveGpx(const QString& folder, const QString& fileName) = 0;
    // The track files' dialog (GPX, NMEA, KML...), several at once; nothing when the user cancels.
    virtual std::optional<QStringList> openTracks() { return std::nullopt; }
};

// What the connectivity check found (the values are the check's historical codes).
enum class ConnectionState {
    Online = 0,
    Offline = 1,
    NoService = 2, // no network service could be asked
    Unknown = 3,   // the service cannot tell whether the machine is reachable
};

class Connectivity {
public:
    virtual ~Connectivity() = default;
    virtual ConnectionState CheckInternetConnection() = 0;
};

class BrowserView {
public:
    virtual ~BrowserView() = default;
    // Shows a web address such as "about:blank"; a real view opens no local file (pages and
    // pictures come from memory through showPage and showPicture). Returns at once; nothing waits
    // for the load.
    virtual void navigate(const QString& url) = 0;
    // Shows the map page the program built: `page` is what appears, whatever the file at
    // `pagePath` (the copy kept for the user) holds now. A plain view shows the file.
    virtual void showPage(const QString& pagePath, const QByteArray& page) {
        (void)page;
        navigate(pagePath);
    }
    // Shows one of the program's pictures from its bytes, read from `path` by the program (empty
    // when it could not be read); the view never opens the file itself. A plain view records the path.
    virtual void showPicture(const QString& path, const QByteArray& picture) {
        (void)picture;
        navigate(path);
    }

    // Called by the view when a navigation has finished loading, with what was navigated to.
    std::function<void(const QString& url)> CppWebBrowser1NavigateComplete2;

protected:
    void navigationFinished(const QString& url) {
        if (CppWebBrowser1NavigateComplete2) CppWebBrowser1NavigateComplete2(url);
    }
};

// The user's own web browser: which one the desktop opens links with, and starting it.
class ExternalBrowser {
public:
    virtual ~ExternalBrowser() = default;
    struct DefaultBrowser {
        QString desktopEntry; // "firefox.desktop"...; empty when no default could be read
        QString setting;      // the setting that was read, named for the user
    };
    virtual DefaultBrowser defaultBrowser() = 0;
    // The full path of the first of `names` found on the PATH; empty when none is.
    virtual QString findProgram(const QStringList& names) = 0;
    // Starts `program` with `arguments` (each one argument, never split), without waiting.
    // False when it cannot start.
    virtual bool launch(const QString& program, const QStringList& arguments) = 0;
    // The address where the program serves the map page `page` to the user's browser (so that the
    // map's tile requests carry a referrer); empty when it cannot serve it. This address is never
    // put in a command line: the browser is given a small file that sends it there.
    virtual QString pageAddress(const QByteArray& page) {
        (void)page;
        return {};
    }
};

class EventPump {
public:
    virtual ~EventPump() = default;
    // Lets the window repaint what the commands changed so far.
    virtual void processMessages() = 0;
};

// The progress of a long command over many photos, with a cancel button. The box appears only when
// the work lasts beyond a moment, so a short command shows nothing, and a task of one step never
// shows one. Once finished the box is gone for good.
class Progress {
public:
    virtual ~Progress() = default;
    // A task of `total` steps, described by `label`.
    virtual void start(const QString& label, int total) = 0;
    // `done` steps of the task are over; false once the user asked to cancel.
    virtual bool advance(int done) = 0;
    // The task is over (finished or cancelled): the box goes away.
    virtual void finish() = 0;
};

struct Platform {
    MessageBoxes& boxes;
    Clipboard& clipboard;
    FileDialogs& dialogs;
    Connectivity& connectivity;
    BrowserView& browser;
    EventPump& pump;
    ExternalBrowser& externalBrowser;
    Progress& progress;
};

} // namespace vantorel
