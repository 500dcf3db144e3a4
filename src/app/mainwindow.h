// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: widgets placed as the program has always shown them, wired to MainController.
#pragma once

#include "browserplaceholder.h"
#include "controller/maincontroller.h"
#include "controller/placeline.h"
#include "gridview.h"
#include "qtplatform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <functional>
#include <memory>

namespace vantorel {

class ViewerWindow;
class OverviewWindow;
class PictureLoader;
class RepaintingBoxes;

// The services a window needs; tests give their own doubles.
struct WindowServices {
    MessageBoxes* boxes = nullptr;
    Clipboard* clipboard = nullptr;
    FileDialogs* dialogs = nullptr;
    Connectivity* connectivity = nullptr;
    ExternalBrowser* externalBrowser = nullptr;
    Progress* progress = nullptr;
    // The real embedded browser (Qt WebEngine); without it a plain stand-in shows the pictures.
    bool webEngine = false;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // Services left null get the real desktop ones.
    explicit MainWindow(WindowServices services = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    MainController& controller() { return *m_controller; }
    // Runs the start-up of a shown window: settings, connectivity check; its pictures are read from
    // `dataDirs` (never from the working folder).
    void startUp(const QStringList& dataDirs);
    // Shows the window and runs `then` once it is on screen, placed by the window manager.
    void showThen(std::function<void()> then);
    // Photos given on the command line are taken as a drop.
    void openPaths(const QStringList& paths);
    void showMapAt(double latitude, double longitude);
    // Says why links of the command line were not taken (one warning for all).
    void reportRefusedLinks(const QStringList& messages);
    // Mirrors the commands' state on the widgets.
    void sync();

    ViewerWindow* viewer() const { return m_viewer; }
    OverviewWindow* overview() const { return m_overview; }
    BrowserView* browser() const { return m_browserView; }
    // « Trace GPS… »: the list's photos on GPS tracks, in a dialog of its own (returned for tests).
    class TrackDialog* openTrackDialog();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWidgets(bool webEngine);
    void wire();
    // The preview is decoded on a worker; the window shows it when it arrives.
    void wirePreview();
    void showPreview();
    // The line naming the place of the position in the fields, else of the photo's.
    void showPlace();
    // The list's entries selected together, in list order.
    QList<int> selectedRows() const;
    // "Efface le geocodage du fichier": for a photo with a position, or for several photos.
    bool eraserEnabled() const;
    // A paste into Edit7 or Edit8 of a whole position fills both fields, a refused one is said and
    // pasted nowhere; false lets the field paste the text itself (one number).
    bool pastePosition(QLineEdit* edit);
    // The coordinate fields light up for a moment when a paste or the map changed them.
    void flashPositionFields();
    // Whether every caption and the grids' bounded texts are whole with the window's font.
    bool textsFit();
    // Runs a command, then mirrors its results. While one runs (its repaints let events through),
    // another is refused with a beep.
    template <typename F> void run(F&& command) {
        if (m_running) {
            m_boxes->beep();
            return;
        }
        m_running = true;
        command();
        m_running = false;
        sync();
    }

    std::unique_ptr<QtMessageBoxes> m_realBoxes;
    std::unique_ptr<QtClipboard> m_realClipboard;
    std::unique_ptr<QtFileDialogs> m_realDialogs;
    std::unique_ptr<Connectivity> m_realConnectivity;
    std::unique_ptr<ExternalBrowser> m_realExternalBrowser;
    std::unique_ptr<Progress> m_realProgress;
    WindowServices m_services; // the services, real or given, for the dialogs opened later
    std::unique_ptr<WindowPump> m_pump;
    std::unique_ptr<RepaintingBoxes> m_repaintingBoxes;
    std::unique_ptr<MainController> m_controller;
    bool m_closed = false;
    bool m_running = false;
    MessageBoxes* m_boxes = nullptr;
    Clipboard* m_clipboard = nullptr;
    bool m_selectionJustChanged = false;

    EntryListModel* ListBox1Model = nullptr;
    QTableView* ListBox1 = nullptr; // shown as a list: one column, no headers, rows of one height
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* BitBtn20 = nullptr;
    QPushButton* BitBtn16 = nullptr;
    QPushButton* BitBtn12 = nullptr;
    QPushButton* BitBtn13 = nullptr;
    QPushButton* BitBtn14 = nullptr;
    QPushButton* BitBtn15 = nullptr;
    QPushButton* m_trackButton = nullptr; // « Trace GPS… »
    QLabel* Label8 = nullptr;
    QLabel* Label11 = nullptr;
    GridModel* SG1Model = nullptr;
    QTableView* SG1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QWidget* m_browser = nullptr; // CppWebBrowser1
    BrowserView* m_browserView = nullptr;
    class LazyBrowser* m_lazyBrowser = nullptr; // with Qt WebEngine
    GridModel* SG2Model = nullptr;
    QTableView* SG2 = nullptr;
    QLabel* Image1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QLabel* Label10 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QPushButton* BitBtn23 = nullptr;
    QCheckBox* eraseAllLocationBox = nullptr; // the eraser's second mode
    QCheckBox* writeSidecarBox = nullptr;     // the writer's second mode: an XMP sidecar, no copy
    QCheckBox* writePlaceBox = nullptr;       // « Écrire aussi le lieu »
    QPushButton* BitBtn9 = nullptr;
    QPushButton* PlaceOnMapButton = nullptr; // « Placer sur la carte »
    QLabel* m_placeLabel = nullptr;          // « Près de Arezzo, Toscane, Italie (4 km) »
    PlaceLine m_placeLine;
    ViewerWindow* m_viewer = nullptr;
    OverviewWindow* m_overview = nullptr;
    PictureLoader* m_previewLoader = nullptr;
    quint64 m_previewRequest = 0; // the controller's number for the preview being decoded
    qint64 m_shownPreviewKey = 0; // the picture Image1 shows
    bool m_syncingList = false;
};

} // namespace vantorel
