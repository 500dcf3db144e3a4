// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "trackdialog.h"

#include "browserplaceholder.h"
#include "desktopservices.h"
#include "display/picturedecoder.h"
#include "display/pictureloader.h"
#include "files/pathnames.h"
#include "lazybrowser.h"
#include "maps/viewsector.h"
#include "metadata/gpscoordinates.h"
#include "metadata/tagcatalogue.h"
#include "overviewwindow.h"
#include "places/placeindex.h"
#include "trackdialog.h"
#include "viewerwindow.h"
#include "webmapview.h"
#include "windowfont.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QStyleOptionButton>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace vantorel {
namespace {

const QString kCopyPositionPair = QStringLiteral("Copier la position (latitude, longitude)");
const QString kCopyGeoUri = QStringLiteral("Copier la position en lien geo:");
// A coordinate field that a paste or the map has just changed.
const QColor kChangedFieldColour(0xFF, 0xF0, 0x8A);

const QString kBitBtn5Hint =
    QStringLiteral("Ecrit ces coordonnées dans un nouveau fichier jpg\n"
                   "Ce nouveau fichier porte le même nom que le fichier jpg source, mais précédé d'un #\n"
                   "Le fichier jpg source ne sera pas modifié");

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                    QRect geometry) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->setGeometry(geometry);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    // Labels show texts from files: never read as markup.
    l->setTextFormat(Qt::PlainText);
    if (geometry.width() > 0)
        l->setGeometry(geometry);
    else {
        l->move(geometry.topLeft());
        l->adjustSize();
    }
    return l;
}

constexpr int kBusyTextPixels = 13;

// Colour, weight, slant and size of a label's text. Only what is given is set: the family and the
// size follow the window's font, whichever it is.
void dress(QLabel* l, QColor color, QFont::Weight weight = QFont::Normal, bool italic = false,
           int pixels = 0) {
    if (color.isValid()) {
        QPalette palette = l->palette();
        palette.setColor(QPalette::WindowText, color);
        l->setPalette(palette);
    }
    QFont f;
    if (weight != QFont::Normal) f.setWeight(weight);
    if (italic) f.setItalic(true);
    if (pixels > 0) f.setPixelSize(pixels);
    if (weight != QFont::Normal || italic || pixels > 0) l->setFont(f);
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                    QRect geometry) {
    auto* b = new QCheckBox(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->setGeometry(geometry);
    return b;
}

QLineEdit* lineEdit(QWidget* parent, const char* name, const QString& hint, QRect geometry) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setToolTip(hint);
    e->setGeometry(geometry);
    return e;
}

QFrame* rule(QWidget* parent, QRect geometry) {
    auto* f = new QFrame(parent);
    f->setFrameShape(geometry.height() > geometry.width() ? QFrame::VLine : QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    f->setGeometry(geometry);
    return f;
}

} // namespace

// A box opens over the commands' latest values: the window is mirrored and repainted first.
class RepaintingBoxes : public MessageBoxes {
public:
    RepaintingBoxes(MessageBoxes& boxes, std::function<void()> sync)
        : m_boxes(boxes), m_sync(std::move(sync)) {}
    void showMessage(const QString& text) override {
        repaint();
        m_boxes.showMessage(text);
    }
    void warning(const QString& text) override {
        repaint();
        m_boxes.warning(text);
    }
    void beep() override { m_boxes.beep(); }
    void information(const QString& text) override {
        repaint();
        m_boxes.information(text);
    }
    bool warningYesCancel(const QString& text) override {
        repaint();
        return m_boxes.warningYesCancel(text);
    }
    Answer warningYesNoCancel(const QString& text) override {
        repaint();
        return m_boxes.warningYesNoCancel(text);
    }
    void error(const QString& text) override {
        repaint();
        m_boxes.error(text);
    }
    void confirmation(const QString& text) override {
        repaint();
        m_boxes.confirmation(text);
    }
    void warningYes(const QString& text) override {
        repaint();
        m_boxes.warningYes(text);
    }

private:
    void repaint() {
        m_sync();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    MessageBoxes& m_boxes;
    std::function<void()> m_sync;
};

namespace {

void setTextIfChanged(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) edit->setText(text);
}

} // namespace

MainWindow::MainWindow(WindowServices services, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setAcceptDrops(true);
    buildWidgets(services.webEngine);

    if (!services.boxes) services.boxes = (m_realBoxes = std::make_unique<QtMessageBoxes>(this)).get();
    if (!services.clipboard) services.clipboard = (m_realClipboard = std::make_unique<QtClipboard>()).get();
    if (!services.dialogs) services.dialogs = (m_realDialogs = std::make_unique<QtFileDialogs>(this)).get();
    if (!services.connectivity)
        services.connectivity = (m_realConnectivity = std::make_unique<NetworkConnectivity>()).get();
    m_boxes = services.boxes;
    m_clipboard = services.clipboard;
    m_pump = std::make_unique<WindowPump>([this] { sync(); });
    if (!services.externalBrowser)
        services.externalBrowser = (m_realExternalBrowser = std::make_unique<DesktopBrowser>()).get();
    if (!services.progress) services.progress = (m_realProgress = std::make_unique<QtProgress>(this)).get();
    m_repaintingBoxes = std::make_unique<RepaintingBoxes>(*services.boxes, [this] { sync(); });
    m_services = services;
    m_controller = std::make_unique<MainController>(
        Platform{*m_repaintingBoxes, *services.clipboard, *services.dialogs, *services.connectivity,
                 *m_browserView, *m_pump, *services.externalBrowser, *services.progress});

    ListBox1Model = &m_controller->listModel();
    ListBox1->setModel(ListBox1Model);
    SG1Model = new GridModel(m_controller->controls().SG1, QColor(Qt::yellow), this);
    SG1 = makeGridView(this, SG1Model, false);
    SG1->setObjectName(QStringLiteral("SG1"));
    SG1->setGeometry(8, 180, 341, 41);
    // A file name too long for its column keeps its start and its extension.
    SG1->setTextElideMode(Qt::ElideMiddle);
    SG2Model = new GridModel(m_controller->controls().SG2, QColor(Qt::cyan), this);
    SG2 = makeGridView(this, SG2Model, true);
    SG2->setObjectName(QStringLiteral("SG2"));
    SG2->setGeometry(356, 180, 341, 441);
    setFont(chooseWindowFont(font(), [this](const QFont& f) {
        setFont(f);
        return textsFit();
    }));

    m_viewer = new ViewerWindow();
    m_viewer->setObjectName(QStringLiteral("Form2"));
    m_overview = new OverviewWindow(services.webEngine);
    m_controller->setOverviewBrowser(m_overview->browser());

    wire();
    m_controller->FormCreate();
    const QRect g = m_controller->controls().geometry;
    move(g.topLeft());
    resize(g.size());
    sync();
}

MainWindow::~MainWindow() {
    delete m_viewer;
    delete m_overview;
    // The grids' views read the controller's tables: they go before it does.
    delete SG1;
    delete SG2;
}

void MainWindow::buildWidgets(bool webEngine) {
    // A table view of one column rather than a list view: with rows of one fixed height it updates
    // one row for one change, where a list view lays out every row again (tens of ms at 200,000).
    ListBox1 = new QTableView(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 4, 877, 149);
    ListBox1->horizontalHeader()->hide();
    ListBox1->horizontalHeader()->setStretchLastSection(true);
    ListBox1->verticalHeader()->hide();
    ListBox1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ListBox1->verticalHeader()->setDefaultSectionSize(ListBox1->fontMetrics().height() + 2);
    ListBox1->setShowGrid(false);
    ListBox1->setWordWrap(false);
    ListBox1->setTabKeyNavigation(false);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Shift and Ctrl clicks and Ctrl+A select several photos for the copy commands; the photo
    // clicked last is the one shown.
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox1->setSelectionBehavior(QAbstractItemView::SelectRows);

    CheckBox1 = checkBox(this, "CheckBox1", QStringLiteral("Ajout lignes"), QString(), {892, 1, 81, 17});
    BitBtn20 = button(this, "BitBtn20", QStringLiteral("Charger"),
                      QStringLiteral("Charge manuellement la liste des images"), {892, 20, 81, 25});
    BitBtn16 = button(this, "BitBtn16", QStringLiteral("Clipboard"),
                      QStringLiteral("Copie le Presse-papier dans la liste des images"), {892, 45, 81, 25});
    BitBtn12 = button(this, "BitBtn12", QStringLiteral("Effacer Poi"),
                      QStringLiteral("Effacer la ligne sélectionnée"), {892, 70, 81, 25});
    BitBtn13 = button(this, "BitBtn13", QStringLiteral("Export Gpx"),
                      QStringLiteral("Créer un fichier Gpx avec les différentes coordonnées indiquées "),
                      {892, 95, 81, 25});
    BitBtn14 = button(this, "BitBtn14", QStringLiteral("Voir carte"),
                      QStringLiteral("Voir l'ensemble des POI sur la carte"), {892, 120, 81, 25});
    BitBtn15 = button(this, "BitBtn15", QStringLiteral("Géocodé"),
                      QStringLiteral("Supprimer les lignes si photos non géocodées"), {892, 145, 81, 25});
    m_trackButton = new QPushButton(QStringLiteral("Trace GPS…"), this);
    m_trackButton->setObjectName(QStringLiteral("TrackButton"));
    m_trackButton->setToolTip(QStringLiteral("Géocoder les photos de la liste d'après une trace GPS"));
    m_trackButton->setGeometry(736, 155, 88, 17);
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);

    Label8 = label(this, "Label8", QStringLiteral("0"), {828, 156, 56, 13});
    Label8->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    dress(Label8, Qt::red, QFont::Bold);
    Label11 = label(this, "Label11", kBusyText, {336, 156, 281, 15});
    Label11->setAlignment(Qt::AlignCenter);
    dress(Label11, Qt::red, QFont::Bold, false, kBusyTextPixels);
    Label11->hide();
    rule(this, {8, 172, 966, 2});

    Label1 = label(this, "Label1", QString(), {8, 227, 70, 13});
    Label2 = label(this, "Label2", QString(), {84, 227, 70, 13});
    for (QLabel* l : {Label1, Label2})
        dress(l, Qt::red);
    Label3 = label(this, "Label3", QString(), {8, 243, 140, 13});
    Label4 = label(this, "Label4", QString(), {152, 243, 140, 13});
    for (QLabel* l : {Label3, Label4})
        dress(l, QColor(0x80, 0, 0));
    CheckBox4 = checkBox(this, "CheckBox4", QString(), QStringLiteral("Coché = Navigateur interne"),
                         {328, 240, 25, 17});
    const EmbeddedBrowser browser = makeEmbeddedBrowser(webEngine, QStringLiteral("CppWebBrowser1"), this);
    m_browser = browser.widget;
    m_browserView = browser.view;
    m_lazyBrowser = browser.lazy;
    m_browser->setGeometry(8, 260, 341, 341);

    Image1 = label(this, "Image1", QString(), {704, 180, 272, 353});
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setToolTip(QStringLiteral("Double-clic = Image en taille réèlle"));
    Image1->installEventFilter(this);

    rule(this, {704, 536, 266, 2});
    rule(this, {848, 536, 2, 88});
    QLabel* l9 = label(this, "Label9", QStringLiteral("Correction magnétique"), {708, 544, 0, 0});
    dress(l9, {}, QFont::Bold);
    QLabel* l12 = label(this, "Label12", QStringLiteral("Direction de prise de vue"), {711, 560, 0, 0});
    dress(l12, {}, QFont::Normal, true);
    CheckBox2 = checkBox(this, "CheckBox2", QStringLiteral("  Automatique"),
                         QStringLiteral("La déclinaison magnétique est calculée par le programme"),
                         {708, 584, 93, 17});
    Edit2 = lineEdit(this, "Edit2", QStringLiteral("Correction fixe boussole APN"), {804, 581, 40, 21});
    Label5 = label(this, "Label5", QStringLiteral("Manuel ="), {708, 608, 0, 0});
    Label5->hide();
    Edit1 = lineEdit(this, "Edit1", QStringLiteral("Déclinaison magnétique du lieu"), {804, 604, 40, 21});
    Edit1->hide();

    QLabel* l6 = label(this, "Label6", QStringLiteral("Taille capteur"), {868, 544, 0, 0});
    dress(l6, {}, QFont::Bold);
    QLabel* l13 = label(this, "Label13", QStringLiteral("Secteur de prise de vue"), {856, 560, 119, 13});
    dress(l13, {}, QFont::Normal, true);
    CheckBox3 =
        checkBox(this, "CheckBox3", QStringLiteral("  Automatique"),
                 QStringLiteral("La taille capteur est fournie par le programme"), {856, 584, 89, 17});
    Label10 = label(this, "Label10", QStringLiteral("Manuel ="), {856, 608, 0, 0});
    Label10->hide();
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->addItems(sensorSizeItems());
    ComboBox1->setToolTip(QStringLiteral("Taille capteur de l'APN"));
    ComboBox1->setGeometry(904, 604, 65, 21);
    ComboBox1->hide();

    // Under the map, where the sector's caption goes for a photo that has a position.
    PlaceOnMapButton = button(this, "PlaceOnMap", QStringLiteral("Placer sur la carte"),
                              QStringLiteral("Cliquer sur la carte pour donner une position à cette photo"),
                              {12, 603, 160, 23});
    PlaceOnMapButton->hide();
    Label7 = label(this, "Label7", QStringLiteral("Label7"), {12, 608, 337, 13});
    dress(Label7, Qt::blue);
    Label7->hide();
    rule(this, {8, 628, 961, 1});
    Edit7 =
        lineEdit(this, "Edit7", QStringLiteral("Nouvelle latitude (Exemple : 48,12345)"), {140, 636, 99, 21});
    Edit8 = lineEdit(this, "Edit8", QStringLiteral("Nouvelle longitude (Exemple : -2,56789)"),
                     {248, 636, 99, 21});
    BitBtn5 = button(this, "BitBtn5", QStringLiteral("Ecrit nouveau fichier géocodé"), kBitBtn5Hint,
                     {352, 635, 181, 25});
    BitBtn23 = button(this, "BitBtn23", QStringLiteral("Efface le geocodage du fichier"),
                      QStringLiteral("Efface le geocodage contenu dans le fichier Jpg"), {548, 635, 181, 25});
    eraseAllLocationBox =
        checkBox(this, "eraseAllLocationBox", QStringLiteral("Tout ce qui situe la photo"),
                 QStringLiteral("Effacer tout ce qui situe la photo : tout le GPS, les lieux "
                                "XMP et IPTC"),
                 {736, 639, 152, 17});
    BitBtn9 = button(this, "BitBtn9", QStringLiteral("Masquer"), QString(), {892, 635, 75, 25});
    writeSidecarBox =
        checkBox(this, "writeSidecarBox", QStringLiteral("XMP annexe"),
                 QStringLiteral("Écrire la position dans un fichier XMP annexe (NOM.EXT.xmp) au "
                                "lieu d'une copie : la photo n'est pas modifiée"),
                 {12, 639, 124, 17});
    // Below the last row: the place of the position in the fields, else of the photo's own; and
    // under the write button, whether its copy names that place.
    m_placeLabel = label(this, "PlaceLabel", QString(), {8, 663, 340, 15});
    m_placeLabel->setTextFormat(Qt::PlainText);
    writePlaceBox = checkBox(this, "writePlaceBox", QStringLiteral("Écrire aussi le lieu"),
                             QStringLiteral("La copie géocodée nomme aussi la ville, la région et le pays de "
                                            "la position (XMP et IPTC)"),
                             {356, 662, 177, 17});
}

void MainWindow::wire() {
    MainController* c = m_controller.get();
    MainControls* m = &c->controls();
    // A new selection, by mouse or keyboard, shows that photo; a click on the selected entry shows it again.
    connect(ListBox1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, c, m](const QModelIndex& current) {
                const int row = current.isValid() ? current.row() : -1;
                // The selection also moves when rows go or when the window mirrors the list: no request then.
                if (row < 0 || m_syncingList || ListBox1Model->changing()) return;
                // A mouse press that changed the selection is followed by a click: that click is the same
                // request.
                m_selectionJustChanged = QGuiApplication::mouseButtons() != Qt::NoButton;
                run([c, m, row] {
                    m->ListBox1Index = row;
                    c->ListBox1Click();
                });
            });
    connect(ListBox1, &QTableView::clicked, this, [this, c, m](const QModelIndex& index) {
        if (std::exchange(m_selectionJustChanged, false)) return;
        const int row = index.row();
        run([c, m, row] {
            m->ListBox1Index = row;
            c->ListBox1Click();
        });
    });
    connect(CheckBox1, &QCheckBox::toggled, this, [m](bool on) { m->CheckBox1 = on; });
    connect(CheckBox2, &QCheckBox::toggled, this, [this, c, m](bool on) {
        m->CheckBox2 = on;
        run([c] { c->CheckBox2Click(); });
    });
    connect(CheckBox3, &QCheckBox::toggled, this, [this, c, m](bool on) {
        m->CheckBox3 = on;
        run([c] { c->CheckBox3Click(); });
    });
    connect(CheckBox4, &QCheckBox::toggled, this, [this, c, m](bool on) {
        m->CheckBox4 = on;
        run([c] { c->CheckBox4Click(); });
    });
    connect(BitBtn20, &QPushButton::clicked, this, [this, c] { run([c] { c->BitBtn20Click(); }); });
    connect(BitBtn16, &QPushButton::clicked, this, [this, c] { run([c] { c->BitBtn16Click(); }); });
    connect(BitBtn12, &QPushButton::clicked, this, [this, c] { run([c] { c->BitBtn12Click(); }); });
    connect(BitBtn13, &QPushButton::clicked, this, [this, c] { run([c] { c->BitBtn13Click(); }); });
    connect(BitBtn15, &QPushButton::clicked, this, [this, c] { run([c] { c->BitBtn15Click(); }); });
    connect(BitBtn9, &QPushButton::clicked, this, [this, c] { run([c] { c->BitBtn9Click(); }); });
    connect(PlaceOnMapButton, &QPushButton::clicked, this, [this, c] { run([c] { c->PlaceOnMap(); }); });
    connect(BitBtn5, &QPushButton::clicked, this, [this, c, m] {
        run([this, c, m] {
            m->ListBox1Selection = selectedRows();
            c->BitBtn5Click();
        });
    });
    connect(BitBtn23, &QPushButton::clicked, this, [this, c, m] {
        run([this, c, m] {
            m->ListBox1Selection = selectedRows();
            c->BitBtn23Click();
        });
    });
    connect(eraseAllLocationBox, &QCheckBox::toggled, this, [m](bool on) { m->eraseAllLocation = on; });
    connect(writeSidecarBox, &QCheckBox::toggled, this, [m](bool on) { m->writeSidecar = on; });
    connect(writePlaceBox, &QCheckBox::toggled, this, [m](bool on) { m->writePlace = on; });
    // Several photos can be erased together even when the one shown has no position.
    connect(ListBox1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { BitBtn23->setEnabled(eraserEnabled()); });
    connect(m_trackButton, &QPushButton::clicked, this, &MainWindow::openTrackDialog);
    connect(ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.addAction(m_trackButton->text(), this, &MainWindow::openTrackDialog);
        menu.exec(ListBox1->viewport()->mapToGlobal(at));
    });
    connect(Edit7, &QLineEdit::textEdited, this, [this, m](const QString& t) {
        m->Edit7 = t;
        showPlace();
    });
    connect(Edit8, &QLineEdit::textEdited, this, [this, m](const QString& t) {
        m->Edit8 = t;
        showPlace();
    });
    connect(Edit1, &QLineEdit::textEdited, this, [m](const QString& t) { m->Edit1 = t; });
    connect(Edit2, &QLineEdit::textEdited, this, [m](const QString& t) { m->Edit2 = t; });
    // Leaving a setting field redraws the selected photo with it.
    connect(Edit1, &QLineEdit::editingFinished, this, [this, c] { run([c] { c->ListBox1Click(); }); });
    connect(Edit2, &QLineEdit::editingFinished, this, [this, c] { run([c] { c->ListBox1Click(); }); });
    connect(ComboBox1, &QComboBox::currentTextChanged, this, [this, c, m](const QString& t) {
        if (m->ComboBox1 == t) return;
        m->ComboBox1 = t;
        run([c] { c->ListBox1Click(); });
    });
    // A click on the map fills the position fields; the web view is made after the window shows.
    const auto wireMap = [this, c](WebMapView* view) {
        connect(view->bridge(), &MapPickBridge::picked, this, [this, c](double latitude, double longitude) {
            run([c, latitude, longitude] { c->MapPositionPicked(latitude, longitude); });
            flashPositionFields();
        });
    };
    if (m_lazyBrowser) {
        if (m_lazyBrowser->view()) wireMap(m_lazyBrowser->view());
        connect(m_lazyBrowser, &LazyBrowser::viewCreated, this, wireMap);
    }
    // A whole position pasted into either coordinate field fills both.
    for (QLineEdit* edit : {Edit7, Edit8})
        edit->installEventFilter(this);
    SG1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SG1, &QWidget::customContextMenuRequested, this, [this, c](const QPoint& at) {
        if (m_controller->controls().Label1.isEmpty()) return;
        QMenu menu(this);
        menu.addAction(kCopyPositionPair, this, [this, c] { run([c] { c->CopyPosition(false); }); });
        menu.addAction(kCopyGeoUri, this, [this, c] { run([c] { c->CopyPosition(true); }); });
        menu.exec(SG1->viewport()->mapToGlobal(at));
    });
    connect(BitBtn14, &QPushButton::clicked, this, [this, c, m] {
        run([this, c, m] {
            m->geometry.moveTopLeft(pos()); // Form3 is placed from where the window is now
            c->BitBtn14Click();
        });
    });
    connect(m_overview, &OverviewWindow::closed, this, [m] { m->Form3Visible = false; });
    connect(m_viewer, &ViewerWindow::hideMainWindowRequested, this, &QWidget::hide);
    connect(m_viewer, &ViewerWindow::showMainWindowRequested, this, &QWidget::show);
    wirePreview();
}

TrackDialog* MainWindow::openTrackDialog() {
    if (m_running || m_controller->controls().ListBox1.isEmpty()) {
        m_boxes->beep();
        return nullptr;
    }
    auto* dialog = new TrackDialog(m_controller->controls().ListBox1,
                                   {*m_services.dialogs, *m_boxes, *m_services.progress,
                                    m_controller->state().TempDir, m_services.webEngine, places::zoneAt},
                                   this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &TrackDialog::copiesWritten, this, [this](const QStringList& copies) {
        m_controller->addTrackCopies(copies);
        sync();
    });
    dialog->open();
    return dialog;
}

QList<int> MainWindow::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : ListBox1->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool MainWindow::eraserEnabled() const {
    const QItemSelection selection = ListBox1->selectionModel()->selection();
    const bool several = selection.size() > 1 || (selection.size() == 1 && selection[0].height() > 1);
    return m_controller->controls().BitBtn23Enabled || several;
}

void MainWindow::showThen(std::function<void()> then) {
    show();
    // The window is exposed once mapped, after the window manager framed and placed it. Asked, not
    // awaited as an event: the platform window is made anew when the web view joins it.
    auto* waiting = new QTimer(this);
    QElapsedTimer since;
    since.start();
    connect(waiting, &QTimer::timeout, this, [this, waiting, since, then = std::move(then)] {
        constexpr qint64 kLongestWaitMs = 5000;
        if (!(windowHandle() && windowHandle()->isExposed()) && since.elapsed() < kLongestWaitMs) return;
        waiting->deleteLater();
        waiting->stop();
        then();
    });
    waiting->start(10);
}

bool MainWindow::textsFit() {
    bool fit = true;
    // Labels sized to their text, as far as the next control or rule.
    const std::pair<const char*, int> autoSized[] = {
        {"Label9", 844}, {"Label12", 844}, {"Label5", 800}, {"Label6", 976}, {"Label10", 900}};
    for (const auto& [name, rightEdge] : autoSized) {
        auto* l = findChild<QLabel*>(QLatin1String(name));
        l->ensurePolished();
        l->adjustSize();
        fit = fit && l->geometry().right() <= rightEdge;
    }
    for (QLabel* l : findChildren<QLabel*>()) {
        l->ensurePolished();
        // A label is at least as tall as its font's line, from the same top.
        if (l->height() < l->fontMetrics().height()) l->resize(l->width(), l->fontMetrics().height());
        if (!l->text().isEmpty())
            fit = fit && l->fontMetrics().horizontalAdvance(l->text()) <= l->contentsRect().width();
    }
    for (QCheckBox* b : findChildren<QCheckBox*>())
        fit = fit && (b->text().isEmpty() || b->sizeHint().width() <= b->width());
    for (QPushButton* b : findChildren<QPushButton*>()) {
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = b->text();
        const QRect contents = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b);
        fit = fit && b->fontMetrics().horizontalAdvance(b->text()) <= contents.width();
    }
    // The grids' texts of bounded length, in the columns' widths set at start-up: coordinates (80
    // pixels), and the names of the item types (55).
    fit = fit && textFitsColumn(SG1, formatCoordinateText(QStringLiteral("W"), {179, 59.999f, 0, true}), 80);
    for (quint16 type = 1; type <= 12; ++type)
        fit = fit && textFitsColumn(SG2, TypeName(type), 55);
    return fit;
}

void MainWindow::startUp(const QStringList& dataDirs) {
    m_controller->FormShow(dataDirs);
    applyColumnWidths(SG1, m_controller->controls().SG1);
    applyColumnWidths(SG2, m_controller->controls().SG2);
    sync();
}

void MainWindow::openPaths(const QStringList& paths) {
    if (paths.isEmpty()) return;
    run([this, &paths] { m_controller->HandleDroppedFiles(paths); });
}

void MainWindow::showMapAt(double latitude, double longitude) {
    run([this, latitude, longitude] { m_controller->ShowMapAt(latitude, longitude); });
}

void MainWindow::reportRefusedLinks(const QStringList& messages) {
    if (!messages.isEmpty()) m_boxes->warning(messages.join(u'\n'));
}

void MainWindow::sync() {
    const MainControls& m = m_controller->controls();
    if (windowTitle() != m.caption) setWindowTitle(m.caption);
    if (size() != m.geometry.size()) resize(m.geometry.size());

    QItemSelectionModel* selection = ListBox1->selectionModel();
    const int currentRow = selection->currentIndex().isValid() ? selection->currentIndex().row() : -1;
    if (currentRow != m.ListBox1Index || (m.ListBox1Index < 0 && selection->hasSelection())) {
        const QScopedValueRollback guard(m_syncingList, true);
        if (m.ListBox1Index < 0 || m.ListBox1Index >= m.ListBox1.size())
            selection->clear();
        else
            selection->setCurrentIndex(ListBox1Model->index(m.ListBox1Index),
                                       QItemSelectionModel::ClearAndSelect);
    }

    const QSignalBlocker b1(CheckBox1), b2(CheckBox2), b3(CheckBox3), b4(CheckBox4), b5(ComboBox1);
    CheckBox1->setChecked(m.CheckBox1);
    CheckBox2->setChecked(m.CheckBox2);
    CheckBox3->setChecked(m.CheckBox3);
    CheckBox4->setChecked(m.CheckBox4);
    CheckBox2->setEnabled(m.declinationControlsEnabled);
    Label5->setVisible(m.manualDeclinationVisible);
    Edit1->setVisible(m.manualDeclinationVisible);
    Label10->setVisible(m.manualSensorVisible);
    ComboBox1->setVisible(m.manualSensorVisible);
    Label5->setEnabled(m.declinationControlsEnabled);
    Edit1->setEnabled(m.declinationControlsEnabled);
    if (!m.ComboBox1.isEmpty() && ComboBox1->currentText() != m.ComboBox1)
        ComboBox1->setCurrentText(m.ComboBox1);

    Label1->setText(m.Label1);
    Label2->setText(m.Label2);
    Label3->setText(m.Label3);
    Label4->setText(m.Label4);
    Label7->setText(m.Label7);
    Label7->setVisible(m.Label7Visible);
    Label8->setText(m.Label8);
    Label11->setVisible(m.Label11Visible);
    setTextIfChanged(Edit1, m.Edit1);
    setTextIfChanged(Edit2, m.Edit2);
    setTextIfChanged(Edit7, m.Edit7);
    setTextIfChanged(Edit8, m.Edit8);
    showPlace();
    BitBtn23->setEnabled(eraserEnabled());
    PlaceOnMapButton->setVisible(m_controller->canPlaceOnMap());
    if (m.Form3Geometry.isValid() && m_overview->geometry() != m.Form3Geometry) {
        m_overview->move(m.Form3Geometry.topLeft());
        m_overview->resize(m.Form3Geometry.size());
    }
    if (m.Form3Visible && !m_overview->isVisible()) m_overview->show();

    SG1Model->refresh();
    if (SG2Model->refresh()) widenColumnsToTexts(SG2, m.SG2, {ExifName, ExifValue});
    showPreview();
}

void MainWindow::showPlace() {
    // A caption too long for its room is cut with an ellipsis, and shown whole as the tip.
    const QString caption = m_placeLine.caption(m_controller->controls());
    m_placeLabel->setText(
        m_placeLabel->fontMetrics().elidedText(caption, Qt::ElideRight, m_placeLabel->width()));
    m_placeLabel->setToolTip(caption);
}

void MainWindow::wirePreview() {
    m_previewLoader = new PictureLoader(this);
    m_controller->setPreviewDecoder(
        [this](quint64 request, std::shared_ptr<const OpenedPhoto> photo, QSize box) {
            // A newer selection: the viewer no longer opens on the photo before.
            m_viewer->cancelLoading();
            m_previewRequest = request;
            if (!photo) {
                m_previewLoader->cancel();
                return;
            }
            // The worker decodes from the descriptor the selection opened; it is closed when the decode ends.
            m_previewLoader->start([photo = std::move(photo), box](const CancelFlag& cancel) {
                return DecodedPicture{decodePicturePreview(*photo, box, &cancel), QSize()};
            });
        });
    connect(m_previewLoader, &PictureLoader::decoded, this, [this](quint64, const DecodedPicture& picture) {
        m_controller->previewDecoded(m_previewRequest, picture.image);
        showPreview();
    });
}

void MainWindow::showPreview() {
    const QImage& picture = m_controller->controls().Image1;
    if (picture.cacheKey() == m_shownPreviewKey) return;
    m_shownPreviewKey = picture.cacheKey();
    if (picture.isNull())
        Image1->clear();
    else
        Image1->setPixmap(QPixmap::fromImage(picture));
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::none_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); })) return;
    event->acceptProposedAction();
    run([this, &urls] {
        // 200,000 names take a while to convert: the window repaints meanwhile.
        QStringList paths;
        paths.reserve(urls.size());
        for (qsizetype i = 0; i < urls.size(); ++i) {
            if (urls[i].isLocalFile()) paths << localPathOfUrl(urls[i]);
            if (i % 4096 == 4095) m_pump->processMessages();
        }
        m_controller->HandleDroppedFiles(paths);
    });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_closed) {
        m_closed = true;
        m_controller->FormClose();
        m_previewLoader->cancel();
        m_viewer->cancelLoading();
        m_viewer->hide();
        m_overview->hide();
    }
    QWidget::closeEvent(event);
}

bool MainWindow::pastePosition(QLineEdit* edit) {
    const std::optional<QString> text = m_clipboard->text();
    if (!text || text->trimmed().isEmpty()) return false;
    PositionReading r;
    run([this, &r, &text] { r = m_controller->PastePosition(*text); });
    if (r.ok) {
        flashPositionFields();
        return true;
    }
    // One number is pasted as it always was; a text that meant a position says why it was not read,
    // and stays out of the field.
    static const QRegularExpression oneNumber(QStringLiteral(R"(^\s*[-+]?\d*([.,]\d*)?\s*$)"));
    if (oneNumber.match(*text).hasMatch() || r.reason.isEmpty()) return false;
    QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), r.reason, edit);
    return true;
}

void MainWindow::flashPositionFields() {
    constexpr int kFlashMs = 900;
    for (QLineEdit* edit : {Edit7, Edit8}) {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, kChangedFieldColour);
        edit->setPalette(palette);
        QTimer::singleShot(kFlashMs, edit, [edit] { edit->setPalette(QPalette()); });
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::MouseButtonDblClick) {
        m_viewer->showFor(m_controller->controls().caption);
        return true;
    }
    if (watched == Edit7 || watched == Edit8) {
        auto* edit = static_cast<QLineEdit*>(watched);
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste))
            return pastePosition(edit);
        if (event->type() == QEvent::ContextMenu) {
            // The field's own menu, its "Coller" reading a whole position first.
            QMenu* menu = edit->createStandardContextMenu();
            if (auto* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
                disconnect(paste, &QAction::triggered, nullptr, nullptr);
                connect(paste, &QAction::triggered, edit, [this, edit] {
                    if (!pastePosition(edit)) edit->paste();
                });
            }
            menu->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
            delete menu;
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vantorel
