// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven offscreen: start size, drops, buttons, the clipboard; boxes answered by doubles.
#include "doubles.h"
#include "fixtures.h"
#include "mainwindow.h"
#include "qtplatform.h"
#include "viewerwindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <tuple>

using namespace vantorel;
using namespace vantorel::test;

namespace {

class WindowTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RecordingBoxes boxes;
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    FakeConnectivity connectivity;
    RecordingExternalBrowser externalBrowser;
    std::unique_ptr<MainWindow> window;

    void SetUp() override {
        window = std::make_unique<MainWindow>(
            WindowServices{&boxes, &clipboard, &dialogs, &connectivity, &externalBrowser});
        window->show();
        window->startUp({});
    }

    template <typename T> T* child(const char* name) { return window->findChild<T*>(QLatin1String(name)); }

    void drop(const QStringList& paths) {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        data->setUrls(urls);
        // As the file manager does: the drag enters (making the window the drop target), then drops.
        QDragEnterEvent enter(QPoint(50, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        QDropEvent event(QPointF(50, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &event);
        delete data;
    }

    QStringList listed() {
        QStringList items;
        const QAbstractItemModel* model = child<QAbstractItemView>("ListBox1")->model();
        for (int i = 0; i < model->rowCount(); ++i)
            items << model->index(i, 0).data().toString();
        return items;
    }

    QString geo(const char* name, const char* latRef = "N") {
        return makeJpeg(dir.path(), QString::fromLatin1(name),
                        gpsItems(latRef, {{48, 1}, {12, 1}, {2070, 100}}, "E", {{2, 1}, {0, 1}, {0, 1}}),
                        QSize(80, 60));
    }
};

TEST_F(WindowTest, StartsAsACollapsedDropTarget) {
    EXPECT_EQ(window->size(), QSize(210, 22));
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    EXPECT_TRUE(window->acceptDrops());
    EXPECT_EQ(window->windowTitle(), "Vantorel   V1.13");
    EXPECT_TRUE(boxes.warnings.isEmpty());
    EXPECT_EQ(child<QLabel>("Label8")->text(), "0");
    EXPECT_TRUE(child<QCheckBox>("CheckBox1")->isChecked());
}

TEST_F(WindowTest, DropOfThreeFilesOnTwo) {
    const QString a = geo("a.jpg"), b = geo("b.jpg"), c = geo("c.jpg"), d = geo("d.jpg"),
                  e = geo("e.jpg", "S");
    drop({d, b});
    drop({e, a, c});
    EXPECT_EQ(listed(), QStringList({a, b, c, d, e}));
    EXPECT_EQ(child<QLabel>("Label8")->text(), "5");
    EXPECT_EQ(window->size(), QSize(986, 695));
    EXPECT_EQ(window->windowTitle(), c);
    EXPECT_EQ(child<QAbstractItemView>("ListBox1")->currentIndex().row(), 2);
    EXPECT_EQ(child<QLabel>("Label1")->text(), "48,20575");
    // The preview is decoded on a worker and shown when it arrives.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !child<QLabel>("Image1")->pixmap().isNull(); }, 5000));
    EXPECT_FALSE(child<QLabel>("Label11")->isVisible());
    auto* sg1 = child<QTableView>("SG1");
    EXPECT_EQ(sg1->model()->index(1, 0).data().toString(), "c.jpg");
    EXPECT_EQ(sg1->model()->index(1, 1).data().toString(), QString::fromUtf8("N 48°  12,345'"));
    EXPECT_TRUE(sg1->isColumnHidden(5));

    // Selecting another entry runs the pipeline on it.
    auto* list = child<QAbstractItemView>("ListBox1");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(4, 0)).center());
    EXPECT_EQ(window->windowTitle(), e);
    EXPECT_EQ(child<QLabel>("Label1")->text(), "-48,20575");

    // The keyboard moves the selection too.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(window->windowTitle(), d);

    // "Masquer" collapses; the next drop expands again.
    QTest::mouseClick(child<QPushButton>("BitBtn9"), Qt::LeftButton);
    EXPECT_EQ(window->size(), QSize(200, 22));
    drop({a});
    EXPECT_EQ(window->size(), QSize(986, 695));
}

TEST_F(WindowTest, EffacerPoiOnTheLastEntry) {
    const QString a = geo("a.jpg");
    drop({a});
    ASSERT_EQ(listed(), QStringList({a}));
    QTest::mouseClick(child<QPushButton>("BitBtn12"), Qt::LeftButton);
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_EQ(child<QLabel>("Label8")->text(), "0");
    EXPECT_TRUE(child<QLabel>("Label1")->text().isEmpty());
    EXPECT_TRUE(child<QLabel>("Image1")->pixmap().isNull());
    EXPECT_TRUE(child<QTableView>("SG1")->model()->index(1, 0).data().toString().isEmpty());
    EXPECT_TRUE(boxes.messages.isEmpty());
}

TEST_F(WindowTest, ClipboardWithoutText) {
    const QString a = geo("a.jpg");
    drop({a});
    child<QCheckBox>("CheckBox1")->setChecked(false);
    clipboard.content = std::nullopt;
    QTest::mouseClick(child<QPushButton>("BitBtn16"), Qt::LeftButton);
    EXPECT_EQ(boxes.messages, QStringList({"Le Presse-papiers ne contient pas de texte."}));
    EXPECT_EQ(listed(), QStringList({a}));

    clipboard.content = a + "\n";
    QTest::mouseClick(child<QPushButton>("BitBtn16"), Qt::LeftButton);
    EXPECT_EQ(listed(), QStringList({a}));
    EXPECT_EQ(window->windowTitle(), a);
}

TEST_F(WindowTest, LeavingTheCompassFieldWithAnEmptyListSaysNothing) {
    auto* edit2 = child<QLineEdit>("Edit2");
    edit2->setFocus();
    QTest::keyClick(edit2, Qt::Key_Return);
    EXPECT_TRUE(boxes.messages.isEmpty());
    EXPECT_EQ(window->size(), QSize(210, 22));
}

TEST_F(WindowTest, DoubleClickOnThePreviewOpensTheViewerInPlaceOfTheWindow) {
    // Before any photo: the viewer shows empty beside the main window.
    QTest::mouseDClick(child<QLabel>("Image1"), Qt::LeftButton);
    ViewerWindow* viewer = window->viewer();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(viewer->image()->picture().isNull());
    QTest::mouseDClick(viewer->image(), Qt::LeftButton);
    EXPECT_FALSE(viewer->isVisible());

    const QString a = geo("a.jpg");
    drop({a});
    QTest::mouseDClick(child<QLabel>("Image1"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->isVisible(); }, 5000)); // decoded on a worker
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(viewer->geometry().size(), QSize(80, 60));
    EXPECT_EQ(viewer->image()->picture().size(), QSize(77, 58)); // as painted inside the 1-pixel margin
    QTest::mouseDClick(viewer->image(), Qt::LeftButton);
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowTest, TextsFromFilesAreNeverMarkup) {
    const QString path =
        makeJpeg(dir.path(), "<b>x.jpg",
                 {asciiItem(GpsLatitudeRef, "<img src='/etc/passwd'>"),
                  rationalItem(GpsLatitude, {{1, 1}, {0, 1}, {0, 1}}), asciiItem(GpsLongitudeRef, "E"),
                  rationalItem(GpsLongitude, {{1, 1}, {0, 1}, {0, 1}}), asciiItem(0x010F, "<i>Make</i>")});
    drop({path});
    for (QLabel* l : window->findChildren<QLabel*>())
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->objectName().toStdString();
    EXPECT_TRUE(child<QLabel>("Label3")->text().startsWith("<img src='/etc/passwd'>"));
    auto* sg2 = child<QTableView>("SG2");
    int found = 0;
    for (int row = 1; row < sg2->model()->rowCount(); ++row) {
        if (sg2->model()->index(row, 2).data().toString() != "<i>Make</i>") continue;
        ++found;
        EXPECT_EQ(sg2->model()->index(row, 2).data(Qt::ToolTipRole).toString(),
                  "<p style='white-space:pre'>&lt;i&gt;Make&lt;/i&gt;</p>");
    }
    EXPECT_EQ(found, 1);
}

TEST_F(WindowTest, NoCommandStartsInsideAnother) {
    const QString a = geo("a.jpg"), b = geo("b.jpg");
    dialogs.chosen = QStringList({a});
    dialogs.whileOpen = [&] { drop({b}); };
    QTest::mouseClick(child<QPushButton>("BitBtn20"), Qt::LeftButton);
    EXPECT_EQ(listed(), QStringList({a}));
    EXPECT_EQ(boxes.beeps, 1);
}

// The window mirrors the controller at every repaint of a command: a grid is read again only when
// the commands changed it.
TEST_F(WindowTest, GridsAreReadAgainOnlyWhenTheyChanged) {
    QAbstractItemModel* sg1 = child<QTableView>("SG1")->model();
    QAbstractItemModel* sg2 = child<QTableView>("SG2")->model();
    QSignalSpy resets1(sg1, &QAbstractItemModel::modelReset), resets2(sg2, &QAbstractItemModel::modelReset);
    window->sync();
    window->sync();
    EXPECT_EQ(resets1.count(), 0);
    EXPECT_EQ(resets2.count(), 0);

    drop({geo("a.jpg")});
    EXPECT_GE(resets1.count(), 1);
    EXPECT_GE(resets2.count(), 1);
    EXPECT_EQ(sg1->index(1, 0).data().toString(), "a.jpg");
    resets1.clear();
    resets2.clear();
    window->sync();
    EXPECT_EQ(resets1.count(), 0);
    EXPECT_EQ(resets2.count(), 0);

    // A change of one grid, its colour alone included, reaches that grid's view only.
    window->controller().controls().SG1.fontColor = Qt::red;
    window->sync();
    EXPECT_EQ(resets1.count(), 1);
    EXPECT_EQ(resets2.count(), 0);
    EXPECT_EQ(sg1->index(1, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    window->controller().controls().SG2.setCell(2, 1, "changed");
    window->sync();
    EXPECT_EQ(resets1.count(), 1);
    EXPECT_EQ(resets2.count(), 1);
    EXPECT_EQ(sg2->index(1, 2).data().toString(), "changed");
}

// Records what the window showed when a box opened.
struct WitnessBoxes : RecordingBoxes {
    std::function<void()> witness;
    void showMessage(const QString& text) override {
        RecordingBoxes::showMessage(text);
        if (witness) witness();
    }
};

TEST(WindowNotice, OpensOverTheRepaintedWindow) {
    QTemporaryDir dir;
    WitnessBoxes boxes;
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    FakeConnectivity connectivity;
    MainWindow window(WindowServices{&boxes, &clipboard, &dialogs, &connectivity});
    window.show();
    window.startUp({});
    // Latitude and longitude without their reference letters: the notice follows the reading.
    const QString path = makeJpeg(dir.path(), "noref.jpg",
                                  {rationalItem(GpsLatitude, {{48, 1}, {30, 1}, {0, 1}}),
                                   rationalItem(GpsLongitude, {{2, 1}, {15, 1}, {0, 1}})});
    QString label1, edit7;
    boxes.witness = [&] {
        if (boxes.messages.size() > 1) return;
        label1 = window.findChild<QLabel*>("Label1")->text();
        edit7 = window.findChild<QLineEdit*>("Edit7")->text();
    };
    window.openPaths({path});
    ASSERT_FALSE(boxes.messages.isEmpty());
    EXPECT_TRUE(boxes.messages.first().startsWith("Informations Nord-Sud et Est-Ouest"));
    EXPECT_EQ(label1, "48,50000");
    EXPECT_EQ(edit7, "48,50000");
}

TEST_F(WindowTest, HeaderRowsStayWhileTheRowsScroll) {
    drop({QString(VANTOREL_SAMPLES_DIR) + "/exiv2_FurnaceCreekInn.jpg"});
    auto* sg2 = child<QTableView>("SG2");
    ASSERT_GT(sg2->model()->rowCount(), 40);
    sg2->scrollToBottom();
    QApplication::processEvents();
    // The last rows are in view, row 0 is no longer among them, and the header still shows it.
    EXPECT_GT(sg2->rowAt(1), 10);
    EXPECT_TRUE(sg2->horizontalHeader()->isVisible());
    EXPECT_EQ(sg2->horizontalHeader()->mapTo(sg2, QPoint(0, 0)).y(), sg2->frameWidth());
    QStringList shown;
    for (int col = 0; col < 3; ++col)
        shown << sg2->model()->headerData(col, Qt::Horizontal).toString();
    EXPECT_EQ(shown, QStringList({"Tag Exif", "Type", "Valeur"}));
    EXPECT_TRUE(sg2->isRowHidden(0));

    // The coordinate grid's header follows its text: a photo without geotag names it.
    auto* sg1 = child<QTableView>("SG1");
    EXPECT_EQ(sg1->model()->headerData(1, Qt::Horizontal).toString(), "Latitude");
    drop({makeJpeg(dir.path(), "plain.jpg", {asciiItem(0x0110, "Cam")})});
    EXPECT_EQ(sg1->model()->headerData(0, Qt::Horizontal).toString(),
              QString::fromUtf8("Cette photo n'est pas géocodée"));
    EXPECT_TRUE(sg1->isRowHidden(0));
    EXPECT_FALSE(sg1->isRowHidden(1));
}

// The list view shows the controller's entries and selection after every list command, and is told
// only what changed: one row for a removal, one block of rows for a batch into an empty list.
TEST_F(WindowTest, ListViewFollowsTheControllerRowByRow) {
    const QString a = geo("a.jpg"), b = geo("B.jpg"), c = geo("c.jpg");
    const QString plain = makeJpeg(dir.path(), "d.jpg", {asciiItem(0x0110, "Cam")});
    auto* view = child<QAbstractItemView>("ListBox1");
    QAbstractItemModel* model = view->model();
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    const MainControls& m = window->controller().controls();
    auto same = [&](const char* step) {
        SCOPED_TRACE(step);
        EXPECT_EQ(listed(), m.ListBox1);
        EXPECT_EQ(view->currentIndex().isValid() ? view->currentIndex().row() : -1, m.ListBox1Index);
    };

    drop({c, a});
    same("drop into an empty list");
    EXPECT_EQ(inserted.size(), 1);
    EXPECT_EQ(resets.size(), 0);
    drop({plain});
    same("drop of one");
    EXPECT_EQ(inserted.size(), 2);
    clipboard.content = a + "\n" + b + "\n";
    QTest::mouseClick(child<QPushButton>("BitBtn16"), Qt::LeftButton);
    same("clipboard");
    EXPECT_EQ(m.ListBox1.size(), 5);

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(model->index(1, 0)).center());
    resets.clear();
    QTest::mouseClick(child<QPushButton>("BitBtn12"), Qt::LeftButton);
    same("Effacer Poi");
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 1);
    EXPECT_EQ(removed[0][2].toInt(), 1);
    EXPECT_EQ(resets.size(), 0);

    QTest::mouseClick(child<QPushButton>("BitBtn15"), Qt::LeftButton);
    same(QString::fromUtf8("Géocodé").toUtf8().constData());
    EXPECT_EQ(m.ListBox1.size(), 3);

    child<QCheckBox>("CheckBox1")->setChecked(false);
    dialogs.chosen = QStringList({plain, b});
    QTest::mouseClick(child<QPushButton>("BitBtn20"), Qt::LeftButton);
    same("Charger replacing the list");
    EXPECT_EQ(listed(), QStringList({b, plain}));
}

// Whether a widget shows its caption whole, measured with its own font.
bool captionWhole(QWidget* w, QString* why) {
    QString text;
    int room = 0;
    if (auto* l = qobject_cast<QLabel*>(w)) {
        text = l->text();
        room = l->contentsRect().width();
        if (!text.isEmpty() && l->fontMetrics().height() > l->contentsRect().height())
            return *why = "too low for its font", false;
    } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
        text = c->text();
        room = text.isEmpty()
                   ? 0
                   : c->width() - (c->sizeHint().width() - c->fontMetrics().horizontalAdvance(text));
    } else if (auto* b = qobject_cast<QPushButton*>(w)) {
        text = b->text();
        QStyleOptionButton option;
        option.initFrom(b);
        room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b).width();
    }
    const int needed = w->fontMetrics().horizontalAdvance(text);
    *why = QStringLiteral("\"%1\" needs %2 pixels, has %3").arg(text).arg(needed).arg(room);
    return text.isEmpty() || needed <= room;
}

TEST_F(WindowTest, PlaceLineFollowsThePhotoAndTheTypedPosition) {
    const QString plain = makeJpeg(dir.path(), QStringLiteral("plain.jpg"), {}, QSize(80, 60));
    drop({geo("a.jpg"), plain});
    auto* place = child<QLabel>("PlaceLabel");
    auto* list = child<QAbstractItemView>("ListBox1");
    const auto select = [&](int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
    };
    select(0);
    EXPECT_EQ(place->text(), QStringLiteral("Près de Étampes, Île-de-France, France (28 km)"));
    // Typed: the line follows each key.
    auto* latitude = child<QLineEdit>("Edit7");
    auto* longitude = child<QLineEdit>("Edit8");
    latitude->selectAll();
    QTest::keyClicks(latitude, QStringLiteral("43,4633"));
    longitude->selectAll();
    QTest::keyClicks(longitude, QStringLiteral("11,8"));
    EXPECT_EQ(place->text(), QStringLiteral("Près de Arezzo, Toscane, Italie (7 km)"));
    QTest::keyClicks(longitude, QStringLiteral("3"));
    EXPECT_EQ(place->text(), QStringLiteral("Près de Arezzo, Toscane, Italie (4 km)"));
    // A photo without position and empty fields: no line.
    select(1);
    EXPECT_TRUE(child<QLineEdit>("Edit7")->text().isEmpty());
    EXPECT_TRUE(place->text().isEmpty());
    // Below every other control, inside the window.
    EXPECT_TRUE(window->rect().contains(place->geometry()));
    for (QWidget* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w == place || !w->isVisible()) continue;
        EXPECT_FALSE(w->geometry().intersects(place->geometry())) << w->objectName().toStdString();
    }
}

TEST_F(WindowTest, CaptionsAndLabelsAreWhole) {
    // A longitude of three digits in every place that shows it.
    drop({QString(VANTOREL_SAMPLES_DIR) + "/exiv2_FurnaceCreekInn.jpg"});
    ASSERT_EQ(child<QLabel>("Label2")->text(), "-116,85500");
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w)) continue;
        if (w->window() != window.get() || w->objectName().isEmpty()) continue;
        QString why;
        EXPECT_TRUE(captionWhole(w, &why)) << w->objectName().toStdString() << ": " << why.toStdString();
    }
    // The labels sized to their text stop before the next control or rule.
    const std::pair<const char*, int> frames[] = {
        {"Label9", 848}, {"Label12", 848}, {"Label5", 804}, {"Label6", 986}, {"Label10", 904}};
    for (const auto& [name, next] : frames)
        EXPECT_LT(child<QLabel>(name)->geometry().right(), next) << name;
}

// Every cell of the real samples is whole in its column, measured with the grid's own font.
TEST_F(WindowTest, CellsOfTheRealSamplesAreWhole) {
    const QDir samples(VANTOREL_SAMPLES_DIR);
    const QStringList photos = samples.entryList({"*.jpg"}, QDir::Files);
    ASSERT_GT(photos.size(), 20);
    child<QCheckBox>("CheckBox1")->setChecked(false);
    auto* sg1 = child<QTableView>("SG1");
    auto* sg2 = child<QTableView>("SG2");
    int checked = 0, dumps = 0;
    for (const QString& photo : photos) {
        SCOPED_TRACE(photo.toStdString());
        drop({samples.filePath(photo)});
        for (auto* view : {sg1, sg2}) {
            const QAbstractItemModel* model = view->model();
            for (int col = 0; col < model->columnCount(); ++col) {
                if (view->isColumnHidden(col)) continue;
                // The header row too.
                EXPECT_LE(cellTextWidth(view, model->headerData(col, Qt::Horizontal).toString()),
                          view->columnWidth(col));
                for (int row = 1; row < model->rowCount(); ++row) {
                    const QString text = model->index(row, col).data().toString();
                    const int needed = cellTextWidth(view, text);
                    if (view == sg2 && needed > kWidestColumn) {
                        // Past the widest column only byte dumps, whole in their tool tip.
                        ++dumps;
                        EXPECT_EQ(model->index(row, ExifType).data().toString(), "Undefined");
                        EXPECT_TRUE(model->index(row, col)
                                        .data(Qt::ToolTipRole)
                                        .toString()
                                        .contains(text.left(200).toHtmlEscaped()));
                        continue;
                    }
                    ++checked;
                    EXPECT_LE(needed, view->columnWidth(col))
                        << view->objectName().toStdString() << " row " << row << " col " << col << ": "
                        << text.left(80).toStdString();
                }
            }
        }
    }
    EXPECT_GT(checked, 1000);
    std::cout << checked << " cells whole, " << dumps << " byte dumps in their tool tips\n";
}

TEST(RealClipboard, APictureIsNoText) {
    QGuiApplication::clipboard()->setImage(QImage(4, 4, QImage::Format_RGB32));
    QtClipboard clipboard;
    EXPECT_FALSE(clipboard.text().has_value());
    const QString longPath = "/photos/" + QString(400, u'p') + ".jpg";
    QGuiApplication::clipboard()->setText(longPath + "\n/b.jpg");
    EXPECT_EQ(clipboard.text(), longPath + "\n/b.jpg");
}

// The real boxes of the window, handed to a recorder instead of the screen: the kind of box, its
// buttons and how narrow it can be, as the user would see them.
struct DrawnBox {
    QMessageBox::Icon icon;
    QStringList buttons;
    QString text;
    int minimumWidth;
};

struct BoxWindow {
    QTemporaryDir dir;
    QList<DrawnBox> drawn;
    QtMessageBoxes boxes{
        nullptr, [this](QMessageBox& box) {
            QStringList buttons;
            for (QAbstractButton* b : box.buttons())
                buttons << b->text();
            buttons.sort();
            drawn.append({box.icon(), buttons, box.text(), box.layout()->totalMinimumSize().width()});
            // The user says "Oui" when there is one.
            return int(box.button(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
        }};
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    FakeConnectivity connectivity;
    RecordingExternalBrowser externalBrowser;
    std::unique_ptr<MainWindow> window;

    void start() {
        window = std::make_unique<MainWindow>(
            WindowServices{&boxes, &clipboard, &dialogs, &connectivity, &externalBrowser});
        window->show();
        window->startUp({});
    }
    void click(const char* name) {
        QTest::mouseClick(window->findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
    }
    // A geotagged photo in the list, selected.
    QString dropPhoto() {
        const QString path = makeJpeg(
            dir.path(), "a.jpg", gpsItems("N", {{48, 1}, {12, 1}, {0, 1}}, "E", {{2, 1}, {0, 1}, {0, 1}}));
        window->openPaths({path});
        return path;
    }
};

TEST(WindowBoxes, EachCommandShowsItsKindOfBox) {
    const QStringList ok{"OK"}, yes{"Oui"}, yesCancel{"Annuler", "Oui"};
    struct Case {
        const char* what;
        std::function<void(BoxWindow&)> before; // before the window starts
        std::function<void(BoxWindow&)> act;
        QList<std::tuple<QMessageBox::Icon, QStringList, QString>> boxes; // icon, buttons, text's start
    };
    const QList<Case> cases = {
        {"no connection at start-up",
         [](BoxWindow& w) { w.connectivity.result = ConnectionState::Offline; },
         [](BoxWindow&) {},
         {{QMessageBox::Warning, ok, QString::fromUtf8("Pas de connexion internet détectée")}}},
        // The default browser is asked when a map first goes to it (the embedded view is off by default).
        {"no default browser at the first map",
         [](BoxWindow& w) {
             w.externalBrowser.answer = {"", "xdg-settings get default-web-browser"};
         },
         [](BoxWindow& w) { w.dropPhoto(); },
         {{QMessageBox::Warning, yes,
           QString::fromUtf8("Le réglage  \"xdg-settings get default-web-browser\"")},
          {QMessageBox::NoIcon, ok, QString::fromUtf8("Navigateur non identifié")}}},
        {"unknown browser at the first map",
         [](BoxWindow& w) {
             w.externalBrowser.answer = {"epiphany.desktop", "x"};
         },
         [](BoxWindow& w) { w.dropPhoto(); },
         {{QMessageBox::NoIcon, ok, "Browser inconnu"},
          {QMessageBox::NoIcon, ok, QString::fromUtf8("Navigateur non identifié")}}},
        {"Export Gpx of an empty list",
         [](BoxWindow&) {},
         [](BoxWindow& w) { w.click("BitBtn13"); },
         {{QMessageBox::Warning, ok, QString::fromUtf8("Il n'y a aucun image géocodée")}}},
        {"geotagged copy, then again over it",
         [](BoxWindow&) {},
         [](BoxWindow& w) {
             w.dropPhoto();
             w.click("BitBtn5");
             w.click("BitBtn5");
         },
         {{QMessageBox::Question, yes, "Les coordonnées ont été écrites"},
          {QMessageBox::Warning, yesCancel, "Le fichier :"},
          {QMessageBox::Question, yes, "L'ancien fichier a été remplacé"}}},
        {"erased copy",
         [](BoxWindow&) {},
         [](BoxWindow& w) {
             w.dropPhoto();
             w.click("BitBtn23");
         },
         {{QMessageBox::Question, yes, ""}}},
        {"copy that cannot be written",
         [](BoxWindow&) {},
         [](BoxWindow& w) {
             QDir(w.dir.path()).mkdir("#a.jpg.part"); // the copy's temporary name is taken
             w.dropPhoto();
             w.click("BitBtn5");
         },
         {{QMessageBox::Critical, yes, QString::fromUtf8("Les coordonnées n'ont pas pu etre écrites !")}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BoxWindow w;
        c.before(w);
        w.start();
        c.act(w);
        for (const DrawnBox& b : w.drawn)
            std::cout << b.text.toStdString() << "\n---\n";
        ASSERT_EQ(w.drawn.size(), c.boxes.size());
        for (qsizetype i = 0; i < c.boxes.size(); ++i) {
            const auto& [icon, buttons, text] = c.boxes[i];
            EXPECT_EQ(w.drawn[i].icon, icon) << i;
            EXPECT_EQ(w.drawn[i].buttons, buttons) << i;
            EXPECT_TRUE(w.drawn[i].text.startsWith(text)) << w.drawn[i].text.toStdString();
        }
    }
}

// A window manager draws the title in a bar shared with its icon and buttons: a box of a short text
// is still wide enough for the whole title.
TEST(WindowBoxes, ShortTextsKeepTheTitleWhole) {
    BoxWindow w;
    w.externalBrowser.answer = {"epiphany.desktop", "x"};
    w.start();
    w.dropPhoto();
    ASSERT_EQ(w.drawn.size(), 2);
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    constexpr int kIconAndThreeButtons = 4 * 22;
    EXPECT_GE(w.drawn[0].minimumWidth,
              QFontMetrics(titleFont).horizontalAdvance(kProgramTitle) + kIconAndThreeButtons);
}

} // namespace
