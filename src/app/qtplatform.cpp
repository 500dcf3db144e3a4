// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtplatform.h"

#include "controller/maincontrols.h"
#include "files/pathnames.h"
#include "files/photoextensions.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

namespace vantorel {
namespace {

const QString kOpenTitle = QStringLiteral("Ouvrir");
// The JPEG filter first, then every photo read, then every file.
const QString kOpenFilter = QStringLiteral("Fichiers Jpg (*.jpg *.JPG *.jpeg *.JPEG);;") + allPhotosFilter() +
                            QStringLiteral(";;*.* (*)");
const QString kSaveTitle = QStringLiteral("Enregistrer sous");
const QString kGpxFilter = QStringLiteral("Gpx (*.gpx *.GPX)");

// Shows the modal box above its owner: a box left under a stay-on-top window looks like a frozen program.
int execAboveOwner(QDialog& box) {
    const QWidget* owner = box.parentWidget();
    if (owner && owner->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    return box.exec();
}

// Room in a window manager's title bar besides the title: the icon and the three buttons.
constexpr int kTitleBarControlsPixels = 120;

// Qt sizes a box to its text plus a little: with a short text, the window manager's title bar,
// icon and buttons leave the title no room ("V… el"). The box is made at least as wide as both.
void widenToTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kTitleBarControlsPixels;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

} // namespace

QtMessageBoxes::QtMessageBoxes(QWidget* parent, ShowBox show)
    : m_parent(parent), m_show(show ? std::move(show) : ShowBox(execAboveOwner)) {}

void QtMessageBoxes::run(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButton button) {
    QMessageBox box(icon, kProgramTitle, text, button, dialogOwner(m_parent));
    box.setTextFormat(Qt::PlainText);
    box.button(button)->setText(button == QMessageBox::Yes ? QStringLiteral("Oui") : QStringLiteral("OK"));
    widenToTitle(box);
    m_show(box);
}

QWidget* dialogOwner(QWidget* fallback) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowType() == Qt::Window && w->isVisible() &&
            w->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            return w;
    return fallback;
}

void QtMessageBoxes::showMessage(const QString& text) {
    run(QMessageBox::NoIcon, text, QMessageBox::Ok);
}

void QtMessageBoxes::warning(const QString& text) {
    run(QMessageBox::Warning, text, QMessageBox::Ok);
}

void QtMessageBoxes::beep() {
    QApplication::beep();
}

void QtMessageBoxes::information(const QString& text) {
    run(QMessageBox::Information, text, QMessageBox::Ok);
}

bool QtMessageBoxes::warningYesCancel(const QString& text) {
    QMessageBox box(QMessageBox::Warning, kProgramTitle, text, QMessageBox::Yes | QMessageBox::Cancel,
                    dialogOwner(m_parent));
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Oui"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Annuler"));
    box.setEscapeButton(QMessageBox::Cancel);
    widenToTitle(box);
    return m_show(box) == QMessageBox::Yes;
}

MessageBoxes::Answer QtMessageBoxes::warningYesNoCancel(const QString& text) {
    QMessageBox box(QMessageBox::Warning, kProgramTitle, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, dialogOwner(m_parent));
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Oui"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Non"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Annuler"));
    box.setEscapeButton(QMessageBox::Cancel);
    widenToTitle(box);
    const int answer = m_show(box);
    return answer == QMessageBox::Yes ? Answer::Yes : answer == QMessageBox::No ? Answer::No : Answer::Cancel;
}

void QtMessageBoxes::error(const QString& text) {
    run(QMessageBox::Critical, text, QMessageBox::Yes);
}

void QtMessageBoxes::confirmation(const QString& text) {
    run(QMessageBox::Question, text, QMessageBox::Yes);
}

void QtMessageBoxes::warningYes(const QString& text) {
    run(QMessageBox::Warning, text, QMessageBox::Yes);
}

std::optional<QString> QtClipboard::text() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return std::nullopt;
    return data->text();
}

std::optional<QStringList> QtFileDialogs::openTracks() {
    QFileDialog dialog(
        m_parent, QStringLiteral("Traces GPS"), QString(),
        QStringLiteral("Traces GPS (*.gpx *.GPX *.nmea *.nma *.log *.txt *.kml *.tcx *.fit *.igc *.plt "
                       "*.csv);;*.* (*)"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    QStringList files = dialog.selectedFiles();
    for (QString& file : files)
        file = recoverLossyPath(file);
    return files;
}

void QtClipboard::setText(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
}

std::optional<QStringList> QtFileDialogs::openPictures() {
    QFileDialog dialog(m_parent, kOpenTitle, QString(), kOpenFilter);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    // The dialog shows a byte of a name that is not UTF-8 as U+FFFD: find the file's real name.
    for (QString& file : files)
        file = recoverLossyPath(file);
    return files;
}

std::optional<QString> QtFileDialogs::saveGpx(const QString& folder, const QString& fileName) {
    QFileDialog dialog(m_parent, kSaveTitle, folder, kGpxFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("gpx"));
    // The command asks its own question about an existing file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
    return files.first();
}

void WindowPump::processMessages() {
    constexpr qint64 kRepaintIntervalMs = 40;
    if (m_sinceLast.isValid() && m_sinceLast.elapsed() < kRepaintIntervalMs) return;
    m_sinceLast.start();
    if (m_sync) m_sync();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QtProgress::~QtProgress() {
    finish();
}

void QtProgress::start(const QString& label, int total) {
    finish();
    if (total <= 1) return; // one photo: its result box follows at once
    m_dialog = new QProgressDialog(label, QStringLiteral("Annuler"), 0, total, dialogOwner(m_parent));
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(1000);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setValue(0);
}

bool QtProgress::advance(int done) {
    if (!m_dialog) return true;
    m_dialog->setValue(done);
    // The box is modal: the only input that reaches the program now is its own.
    QCoreApplication::processEvents();
    return m_dialog && !m_dialog->wasCanceled();
}

void QtProgress::finish() {
    QProgressDialog* dialog = m_dialog;
    m_dialog = nullptr;
    if (!dialog) return;
    // Gone now, not later: a box only hidden has its timer show it again over the result box, whose
    // own event loop never runs the deferred deletion.
    dialog->reset();
    dialog->close();
    delete dialog;
}

} // namespace vantorel
