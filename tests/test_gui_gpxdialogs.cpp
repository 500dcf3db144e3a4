// SPDX-License-Identifier: GPL-3.0-or-later
// The real save dialog and overwrite question of the GPX export, offscreen: where the dialog opens,
// the extension it adds, that it leaves the overwrite question to the command, and the French
// buttons of the question.
#include "qtplatform.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace vantorel;

namespace {

// Runs `act` on the first modal widget of type T once it is up; a message box that shows up
// instead (a question the dialog should not ask) is recorded and closed.
template <typename T> struct WhenShown {
    std::function<void(T*)> act;
    QStringList unexpected;
    QTimer timer;
    explicit WhenShown(std::function<void(T*)> f) : act(std::move(f)) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return;
            if (auto* box = qobject_cast<QMessageBox*>(modal); box && !std::is_same_v<T, QMessageBox>) {
                unexpected << box->text();
                box->reject();
                return;
            }
            if (auto* w = qobject_cast<T*>(modal)) {
                // Still up after the user acted (held open by a question): closed, so the test ends.
                if (!act) return void(w->reject());
                // Acted on outside this slot: a box the action opens must still find the timer running.
                QTimer::singleShot(0, w, [w, f = std::exchange(act, nullptr)] { f(w); });
            }
        });
        timer.start();
    }
};

TEST(GpxSaveDialog, OpensInTheFolderAndAddsTheExtension) {
    QTemporaryDir dir;
    QtFileDialogs dialogs(nullptr);
    QString shownFolder;
    WhenShown<QFileDialog> user([&](QFileDialog* d) {
        shownFolder = d->directory().absolutePath();
        auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); // the user types a name
        ASSERT_NE(name, nullptr);
        name->setText(QStringLiteral("export"));
        static_cast<QDialog*>(d)->accept(); // what the Save button does
    });
    const auto chosen = dialogs.saveGpx(dir.path(), QStringLiteral("WP_photos.gpx"));
    EXPECT_EQ(shownFolder, QDir(dir.path()).absolutePath());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->toStdString(),
              QDir(dir.path()).absoluteFilePath(QStringLiteral("export.gpx")).toStdString());
}

TEST(GpxSaveDialog, ExistingFileIsLeftToTheCommandAndCancelGivesNothing) {
    QTemporaryDir dir;
    QFile old(dir.filePath(QStringLiteral("WP_photos.gpx")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.close();
    QtFileDialogs dialogs(nullptr);
    {
        WhenShown<QFileDialog> user([](QFileDialog* d) { static_cast<QDialog*>(d)->accept(); });
        const auto chosen = dialogs.saveGpx(dir.path(), QStringLiteral("WP_photos.gpx"));
        EXPECT_TRUE(user.unexpected.isEmpty()) << user.unexpected.join(u'|').toStdString();
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(*chosen, QDir(dir.path()).absoluteFilePath(QStringLiteral("WP_photos.gpx")));
    }
    WhenShown<QFileDialog> user([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(dialogs.saveGpx(dir.path(), QStringLiteral("WP_photos.gpx")).has_value());
}

TEST(GpxOverwriteQuestion, OuiOrAnnuler) {
    QtMessageBoxes boxes(nullptr);
    for (const bool yes : {true, false}) {
        QStringList buttons;
        WhenShown<QMessageBox> user([&](QMessageBox* box) {
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            box->button(yes ? QMessageBox::Yes : QMessageBox::Cancel)->click();
        });
        EXPECT_EQ(boxes.warningYesCancel(QStringLiteral("Le fichier :\n/x\nexiste déja. \n\nL'écraser ?")),
                  yes);
        buttons.sort();
        EXPECT_EQ(buttons, QStringList({QStringLiteral("Annuler"), QStringLiteral("Oui")}));
    }
    // Escape (closing the box) is "Annuler".
    WhenShown<QMessageBox> user([](QMessageBox* box) { box->reject(); });
    EXPECT_FALSE(boxes.warningYesCancel(QStringLiteral("?")));
}

} // namespace
