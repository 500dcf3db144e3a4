// SPDX-License-Identifier: GPL-3.0-or-later
// The copies of several selected photos in one command: one question for the copies already
// there, progress with cancel beyond a few photos, one summary; one selected photo keeps the
// one-photo command's boxes.
#include "controller/maincontroller.h"
#include "controller/severalcopies.h"
#include "doubles.h"
#include "fixtures.h"
#include "geotag/geotagcopy.h"
#include "geotag/xmpsidecar.h"
#include "metadata/gpscoordinates.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

class SeveralCopies : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakePlatform fake;
    MainController c{fake.platform()};
    MainControls& m = c.controls();
    QStringList photos;
    QList<QByteArray> sourceBytes;

    // `count` photos (one without position), all selected, the last one shown.
    void listPhotos(int count) {
        c.FormCreate();
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("p%1.jpg").arg(i);
            photos << (i == 1 ? makeJpeg(dir.path(), name, {asciiItem(0x0110, "Cam")})
                              : makeJpeg(dir.path(), name,
                                         gpsItems("N", {{45, 1}, {12, 1}, {0, 1}}, "E",
                                                  {{2, 1}, {20, 1}, {0, 1}})));
            sourceBytes << fileBytes(photos.last());
        }
        c.HandleDroppedFiles(photos);
        for (int i = 0; i < count; ++i)
            m.ListBox1Selection << i;
        m.Edit7 = "-33,5";
        m.Edit8 = "151,25";
    }
    QString copyOf(int i, QChar prefix = kGeotaggedPrefix) { return copyPathFor(photos[i], prefix); }
    QString position(const QString& path) {
        QString lat, lon;
        const CoordinateReading r = ReadGpsCoordinates(path, lat, lon);
        return r.geotagged ? r.signedLatitude + " " + r.signedLongitude : QString("-");
    }
    void expectSourcesUnchanged() {
        for (int i = 0; i < photos.size(); ++i)
            EXPECT_EQ(fileBytes(photos[i]), sourceBytes[i]) << photos[i].toStdString();
    }
};

TEST_F(SeveralCopies, ThreePhotosGiveThreeCopiesAndOneSummary) {
    listPhotos(3);
    c.BitBtn5Click();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(position(copyOf(i)), "-33,50000 151,25000");
        EXPECT_TRUE(m.ListBox1.contains(copyOf(i)));
    }
    EXPECT_EQ(m.Label8, "6");
    EXPECT_TRUE(fake.boxes.questions.isEmpty());
    EXPECT_TRUE(fake.progress.labels.isEmpty()) << "a few photos show no progress";
    ASSERT_EQ(fake.boxes.confirmations.size(), 1);
    const QString summary = fake.boxes.confirmations[0];
    EXPECT_TRUE(summary.contains("Écrits : 3\n" + copyOf(0) + "\n" + copyOf(1) + "\n" + copyOf(2)))
        << summary.toStdString();
    EXPECT_TRUE(summary.endsWith("Les fichiers source d'origine n'ont pas été modifiés"));
    EXPECT_TRUE(fake.boxes.errors.isEmpty());
    expectSourcesUnchanged();

    // Erasing the same selection: "~" copies without position, one summary.
    m.ListBox1Selection = {0, 1, 2};
    for (int i = 0; i < 3; ++i)
        m.ListBox1Selection[i] = int(m.ListBox1.indexOf(photos[i]));
    c.BitBtn23Click();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(position(copyOf(i, kErasedPrefix)), "-");
    EXPECT_EQ(fake.boxes.confirmations.size(), 2);
    // The photo without position has nothing to erase: no copy, and the summary says so.
    EXPECT_FALSE(QFileInfo::exists(copyOf(1, kErasedPrefix)));
    EXPECT_TRUE(fake.boxes.confirmations[1].startsWith("Nouveaux fichiers sans géocodage\n\nÉcrits : 2"))
        << fake.boxes.confirmations[1].toStdString();
    EXPECT_TRUE(fake.boxes.confirmations[1].contains("Sans position, pas de copie : 1\n" + photos[1]));
    expectSourcesUnchanged();
}

// « Écrire aussi le lieu »: every copy names the new position's place, one photo's copy as several
// photos' copies; without it, none does.
TEST_F(SeveralCopies, WritePlaceNamesThePlaceInEveryCopy) {
    listPhotos(3);
    const auto named = [](const QString& copy) {
        const QByteArray bytes = fileBytes(copy);
        return bytes.contains(QStringLiteral("photoshop:City=\"Hornsby\"").toUtf8()) &&
               bytes.contains(QStringLiteral("photoshop:State=\"Nouvelle-Galles du Sud\"").toUtf8()) &&
               bytes.contains("photoshop:Country=\"Australie\"") &&
               bytes.contains("Iptc4xmpCore:CountryCode=\"AU\"");
    };
    m.writePlace = true;
    c.BitBtn5Click();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(named(copyOf(i))) << i;
    // One photo: the copy written beside the window.
    m.ListBox1Selection.clear();
    fake.boxes.answerYes = true;
    m.Edit7 = "-33,5";
    m.Edit8 = "151,25";
    c.BitBtn5Click();
    EXPECT_TRUE(named(copyOf(2)));
    m.writePlace = false;
    c.BitBtn5Click();
    EXPECT_FALSE(fileBytes(copyOf(2)).contains("photoshop:City"));
    EXPECT_EQ(position(copyOf(2)), "-33,50000 151,25000");
    expectSourcesUnchanged();
}

TEST_F(SeveralCopies, ExistingCopiesAreAskedAboutOnce) {
    listPhotos(3);
    for (int i : {0, 2}) {
        QFile old(copyOf(i));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("earlier copy");
    }
    // Annuler: nothing written, a beep.
    fake.boxes.answer = MessageBoxes::Answer::Cancel;
    c.BitBtn5Click();
    ASSERT_EQ(fake.boxes.questions.size(), 1);
    EXPECT_TRUE(fake.boxes.questions[0].startsWith("Fichiers qui existent déjà : 2\n" + copyOf(0) + "\n" +
                                                   copyOf(2)));
    EXPECT_EQ(fake.boxes.beeps, 1);
    EXPECT_FALSE(QFileInfo::exists(copyOf(1)));
    EXPECT_TRUE(fake.boxes.confirmations.isEmpty());

    // Non: the two old copies stay, the third is written.
    fake.boxes.answer = MessageBoxes::Answer::No;
    c.BitBtn5Click();
    EXPECT_EQ(fileBytes(copyOf(0)), QByteArray("earlier copy"));
    EXPECT_EQ(fileBytes(copyOf(2)), QByteArray("earlier copy"));
    EXPECT_EQ(position(copyOf(1)), "-33,50000 151,25000");
    ASSERT_EQ(fake.boxes.confirmations.size(), 1);
    EXPECT_TRUE(
        fake.boxes.confirmations[0].contains("Existaient déjà, gardés : 2\n" + copyOf(0) + "\n" + copyOf(2)));

    // Oui: every copy replaced, in one question again.
    fake.boxes.answer = MessageBoxes::Answer::Yes;
    m.ListBox1Selection.clear();
    for (const QString& p : photos)
        m.ListBox1Selection << int(m.ListBox1.indexOf(p));
    c.BitBtn5Click();
    EXPECT_EQ(fake.boxes.questions.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(position(copyOf(i)), "-33,50000 151,25000");
    EXPECT_TRUE(fake.boxes.confirmations.last().contains("Anciens fichiers remplacés : 3"));
    expectSourcesUnchanged();
}

// « Tout ce qui situe la photo » takes out the whole GPS directory of every selected photo, as it
// does for one; without it only the position goes and the GPS date stays.
TEST_F(SeveralCopies, ErasingEverythingAppliesToEveryPhoto) {
    c.FormCreate();
    for (int i = 0; i < 3; ++i) {
        QVector<PropertyItem> items =
            gpsItems("N", {{45, 1}, {12, 1}, {0, 1}}, "E", {{2, 1}, {20, 1}, {0, 1}});
        items << asciiItem(0x001D, "2019:07:14") << byteItem(0x0005, {0});
        photos << makeJpeg(dir.path(), QStringLiteral("p%1.jpg").arg(i), items);
    }
    c.HandleDroppedFiles(photos);
    m.ListBox1Selection = {0, 1, 2};
    m.Edit7 = "45,2";
    m.Edit8 = "2,33333";
    for (const bool everything : {false, true}) {
        m.eraseAllLocation = everything;
        fake.boxes.answer = MessageBoxes::Answer::Yes;
        m.ListBox1Selection.clear();
        for (const QString& p : photos)
            m.ListBox1Selection << int(m.ListBox1.indexOf(p));
        c.BitBtn23Click();
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(position(copyOf(i, kErasedPrefix)), "-");
            EXPECT_EQ(fileBytes(copyOf(i, kErasedPrefix)).contains("2019:07:14"), !everything)
                << i << (everything ? " everything" : " position only");
        }
        ASSERT_FALSE(fake.boxes.confirmations.isEmpty());
        EXPECT_EQ(fake.boxes.confirmations.last().contains("Retirés : "), everything)
            << fake.boxes.confirmations.last().toStdString();
    }
}

// With several photos selected the eraser acts on them, whatever the photo shown: here one without
// position, whose fields are empty.
TEST_F(SeveralCopies, ErasingSeveralWhenTheShownPhotoHasNoPosition) {
    listPhotos(3);
    m.caption = photos[1];
    m.Edit7.clear();
    m.Edit8.clear();
    c.BitBtn23Click();
    EXPECT_TRUE(QFileInfo::exists(copyOf(0, kErasedPrefix)));
    EXPECT_FALSE(QFileInfo::exists(copyOf(1, kErasedPrefix)));
    EXPECT_TRUE(QFileInfo::exists(copyOf(2, kErasedPrefix)));
    ASSERT_EQ(fake.boxes.confirmations.size(), 1);
    const QString summary = fake.boxes.confirmations[0];
    EXPECT_TRUE(summary.contains("Écrits : 2")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("Sans position, pas de copie : 1\n" + photos[1])) << summary.toStdString();
    expectSourcesUnchanged();

    // Only photos without position selected: nothing written, and the title says so.
    const QString other = makeJpeg(dir.path(), "q.jpg");
    c.addToList(other);
    m.ListBox1Selection = {int(m.ListBox1.indexOf(photos[1])), int(m.ListBox1.indexOf(other))};
    c.BitBtn23Click();
    ASSERT_EQ(fake.boxes.confirmations.size(), 2);
    EXPECT_TRUE(fake.boxes.confirmations[1].startsWith("Aucun nouveau fichier sans géocodage\n\n"))
        << fake.boxes.confirmations[1].toStdString();
    EXPECT_FALSE(fake.boxes.confirmations[1].contains("Écrits"));
}

// When every copy already existed and the user kept them, the summary's title says nothing was written.
TEST_F(SeveralCopies, NothingWrittenIsTheTitle) {
    listPhotos(2);
    for (int i : {0, 1}) {
        QFile old(copyOf(i));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("earlier copy");
    }
    fake.boxes.answer = MessageBoxes::Answer::No;
    c.BitBtn5Click();
    ASSERT_EQ(fake.boxes.confirmations.size(), 1);
    EXPECT_TRUE(fake.boxes.confirmations[0].startsWith(
        "Aucun nouveau fichier géocodé\n\nExistaient déjà, gardés : 2"))
        << fake.boxes.confirmations[0].toStdString();
}

TEST_F(SeveralCopies, FailuresAreSummedUpWithTheirReason) {
    listPhotos(2);
    QFile text(dir.filePath("notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    c.addToList(text.fileName());
    m.ListBox1Selection = {0, 1, 2};
    c.BitBtn5Click();
    EXPECT_TRUE(fake.boxes.confirmations.isEmpty());
    ASSERT_EQ(fake.boxes.errors.size(), 1);
    const QString summary = fake.boxes.errors[0];
    EXPECT_TRUE(summary.contains("Écrits : 2")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("Non écrits : 1\n" + dir.filePath("#notes.jpg") + " : "))
        << summary.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("#notes.jpg")));
    EXPECT_FALSE(m.ListBox1.contains(dir.filePath("#notes.jpg")));
}

TEST_F(SeveralCopies, ManyPhotosShowProgressAndStopWhenCancelled) {
    listPhotos(6);
    fake.progress.cancelAfter = 3; // the third report of progress finds the cancel button pressed
    c.BitBtn5Click();
    EXPECT_EQ(fake.progress.labels, QStringList{"Écriture des nouveaux fichiers géocodés…"});
    EXPECT_EQ(fake.progress.finished, 1);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(QFileInfo::exists(copyOf(i)), i < 2) << i;
    ASSERT_EQ(fake.boxes.confirmations.size(), 1);
    EXPECT_TRUE(fake.boxes.confirmations[0].contains("Écrits : 2"));
    EXPECT_TRUE(fake.boxes.confirmations[0].contains("Non traités (annulé) : 4"));
}

TEST_F(SeveralCopies, OneSelectedPhotoOrUnreadableFieldsKeepTheOnePhotoCommand) {
    listPhotos(3);
    // Unreadable fields: one beep, nothing written, no summary.
    m.Edit7 = "48.5";
    c.BitBtn5Click();
    EXPECT_EQ(fake.boxes.beeps, 1);
    EXPECT_FALSE(QFileInfo::exists(copyOf(0)));
    // The same photo selected twice counts once; one photo is the one-photo command on the caption.
    m.Edit7 = "10";
    for (const QList<int>& one : {QList<int>{}, QList<int>{2}, QList<int>{2, 2}}) {
        m.ListBox1Selection = one;
        c.BitBtn5Click();
    }
    EXPECT_EQ(fake.boxes.confirmations.first(),
              "Les coordonnées ont été écrites avec succès dans le nouveau fichier\n" + copyOf(2) +
                  "\n\nLe fichier source d'origine n'a pas été modifié");
    EXPECT_EQ(fake.boxes.questions.size(), 2); // the one-photo question, about the one copy
    EXPECT_FALSE(QFileInfo::exists(copyOf(0)));
}

// The window's « XMP annexe » choice: sidecars for the selected photos, edited when they exist,
// no copy, the photos untouched; one photo or several.
TEST_F(SeveralCopies, TheSidecarChoiceWritesSidecarsAndNoCopy) {
    listPhotos(3);
    m.writeSidecar = true;
    QFile earlier(sidecarPathFor(photos[2]));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write(
        newSidecarText(photos[2], GpsPosition{"N", "E", DegreesToRationals(1), DegreesToRationals(2), {}})
            .replace("exif:GPSVersionID", "xmpMM:DocumentID=\"xmp.did:1234\"\n   exif:GPSVersionID"));
    earlier.close();
    c.BitBtn5Click();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(QFileInfo::exists(copyOf(i))) << i;
        const QByteArray sidecar = fileBytes(sidecarPathFor(photos[i]));
        EXPECT_TRUE(sidecar.contains("33,30.0000S")) << sidecar.toStdString();
        EXPECT_TRUE(sidecar.contains("151,15.0000E")) << sidecar.toStdString();
        EXPECT_FALSE(m.ListBox1.contains(sidecarPathFor(photos[i])));
    }
    EXPECT_TRUE(fileBytes(sidecarPathFor(photos[2])).contains("xmp.did:1234")) << "its other properties kept";
    expectSourcesUnchanged();
    EXPECT_TRUE(fake.boxes.questions.isEmpty());
    ASSERT_EQ(fake.boxes.confirmations.size(), 1);
    const QString summary = fake.boxes.confirmations[0];
    EXPECT_TRUE(summary.startsWith("Fichiers XMP annexes écrits : 2\n" + sidecarPathFor(photos[0])))
        << summary.toStdString();
    EXPECT_TRUE(
        summary.contains("modifiés, leurs autres propriétés gardées : 1\n" + sidecarPathFor(photos[2])));
    EXPECT_TRUE(summary.endsWith("Les photos n'ont pas été modifiées"));

    // One photo shown, the choice still on: its sidecar alone.
    m.ListBox1Selection = {};
    QFile::remove(sidecarPathFor(photos[2]));
    c.BitBtn5Click();
    EXPECT_TRUE(QFileInfo::exists(sidecarPathFor(photos[2])));
    EXPECT_FALSE(QFileInfo::exists(copyOf(2)));
    EXPECT_EQ(fake.boxes.confirmations.size(), 2);
}

// A photo whose own file is never written: « Ecrit » gives its sidecar, « Efface » is refused with why.
TEST_F(SeveralCopies, ARawOfItsOwnStructureTakesASidecarAndCannotBeErased) {
    c.FormCreate();
    QFile raw(dir.filePath("DSCF1.RAF"));
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    raw.write("FUJIFILMCCD-RAW 0201FF383501" + QByteArray(2000, '\x11'));
    raw.close();
    const QByteArray before = fileBytes(raw.fileName());
    m.caption = raw.fileName();
    m.Edit7 = "-33,5";
    m.Edit8 = "151,25";
    c.BitBtn5Click();
    EXPECT_TRUE(fileBytes(sidecarPathFor(raw.fileName())).contains("33,30.0000S"));
    EXPECT_FALSE(QFileInfo::exists(copyPathFor(raw.fileName(), kGeotaggedPrefix)));
    ASSERT_EQ(fake.boxes.confirmations.size(), 1);
    c.BitBtn23Click();
    ASSERT_EQ(fake.boxes.errors.size(), 1);
    EXPECT_TRUE(fake.boxes.errors[0].contains(kSidecarCannotErase)) << fake.boxes.errors[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(copyPathFor(raw.fileName(), kErasedPrefix)));
    EXPECT_EQ(fileBytes(raw.fileName()), before);
    // From a track, the RAW's sidecar joins no list either.
    c.addTrackCopies({sidecarPathFor(raw.fileName()), dir.filePath("#p.jpg")});
    EXPECT_TRUE(m.ListBox1.contains(dir.filePath("#p.jpg")));
    EXPECT_FALSE(m.ListBox1.contains(sidecarPathFor(raw.fileName())));
}

} // namespace
