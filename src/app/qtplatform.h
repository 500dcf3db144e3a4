// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop services behind the core's interfaces: Qt message boxes with French buttons, the
// clipboard, the picture dialog, and the window's repaint pump.
#pragma once

#include "controller/platform.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QWidget>
#include <functional>

namespace vantorel {

// The window a message box belongs over: a visible stay-on-top window when one is shown (the viewer hides
// the main window and would cover a box parented to it), else `fallback`. Boxes are raised above it.
QWidget* dialogOwner(QWidget* fallback);

class QtMessageBoxes : public MessageBoxes {
public:
    // Opens a box made ready and returns the button pressed; by default, modal above its owner.
    using ShowBox = std::function<int(QMessageBox&)>;
    explicit QtMessageBoxes(QWidget* parent, ShowBox show = {});
    void showMessage(const QString& text) override;
    void warning(const QString& text) override;
    void beep() override;
    void information(const QString& text) override;
    bool warningYesCancel(const QString& text) override;
    Answer warningYesNoCancel(const QString& text) override;
    void error(const QString& text) override;
    void confirmation(const QString& text) override;
    void warningYes(const QString& text) override;

private:
    void run(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButton button);
    QPointer<QWidget> m_parent;
    ShowBox m_show;
};

class QtClipboard : public Clipboard {
public:
    std::optional<QString> text() override;
    void setText(const QString& text) override;
};

class QtFileDialogs : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent) : m_parent(parent) {}
    std::optional<QStringList> openPictures() override;
    std::optional<QString> saveGpx(const QString& folder, const QString& fileName) override;
    std::optional<QStringList> openTracks() override;

private:
    QPointer<QWidget> m_parent;
};

// A window-modal progress box that appears once a task of several steps has lasted a second; its
// "Annuler" button is the only input it lets through while the command runs. It is closed and
// deleted when the task ends.
class QtProgress : public Progress {
public:
    explicit QtProgress(QWidget* parent) : m_parent(parent) {}
    ~QtProgress() override;
    void start(const QString& label, int total) override;
    bool advance(int done) override;
    void finish() override;

private:
    QPointer<QWidget> m_parent;
    QPointer<QProgressDialog> m_dialog; // the box goes with its owner when the window does
};

// Mirrors the commands' changes on the widgets, then lets the window repaint. User input waits
// until the running command is over, so no command starts inside another. A long command asks
// after every photo; the window is redrawn at most every few hundredths of a second.
class WindowPump : public EventPump {
public:
    explicit WindowPump(std::function<void()> sync) : m_sync(std::move(sync)) {}
    void processMessages() override;

private:
    std::function<void()> m_sync;
    QElapsedTimer m_sinceLast;
};

} // namespace vantorel
