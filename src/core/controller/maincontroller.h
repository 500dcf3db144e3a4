// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands: the photo list, the selection pipeline and the list-wide commands.
// They work on MainControls and SharedState; the window only mirrors them on widgets.
#pragma once

#include "entrylist.h"
#include "files/jpeghead.h"
#include "maincontrols.h"
#include "maps/mappagefile.h"
#include "maps/mapsettings.h"
#include "maps/viewsector.h"
#include "metadata/poitable.h"
#include "platform.h"
#include "sharedstate.h"
#include "text/positiontext.h"

#include <QPointF>
#include <QSize>
#include <functional>
#include <memory>

namespace vantorel {

class GpxTimes;
struct GpsPosition;

class MainController {
public:
    explicit MainController(Platform platform);

    MainControls& controls() { return m_controls; }
    const MainControls& controls() const { return m_controls; }
    SharedState& state() { return m_state; }
    const SharedState& state() const { return m_state; }

    // Start-up and end. The program's pictures are read from the first of `dataDirs` that has them
    // (the installed data folder, or the build's), never from the working folder.
    void FormCreate();
    void FormShow(const QStringList& dataDirs);
    void FormClose();

    // Filling and emptying the list.
    void HandleDroppedFiles(const QStringList& paths);
    void BitBtn20Click(); // "Charger"
    void BitBtn16Click(); // "Clipboard"
    void BitBtn12Click(); // "Effacer Poi"
    void BitBtn13Click(); // "Export Gpx"
    void BitBtn15Click(); // "Géocodé"
    void BitBtn9Click();  // "Masquer"
    void BitBtn14Click(); // "Voir carte": every geotagged photo on one map

    // The copies of the photo named in the caption, beside it.
    // Copies written from a GPS track join the list, each once, as "Ecrit nouveau fichier géocodé" adds one.
    void addTrackCopies(const QStringList& copies);
    void BitBtn5Click();  // "Ecrit nouveau fichier géocodé": "#" + name with Edit7/Edit8's position
    void BitBtn23Click(); // "Efface le geocodage du fichier": "~" + name without position

    // The selection pipeline on the selected entry, and its steps.
    void ListBox1Click();
    void RefreshAfterListChange();
    void BitBtn1Click(); // GPS coordinates
    void BitBtn4Click(); // EXIF listing
    void BitBtn7Click(); // preview

    // The preview is decoded inside BitBtn7Click unless a window hands the decode to a worker: it is then
    // given the photo (already opened by the selection; null: nothing to show) and answers through
    // previewDecoded.
    using PreviewDecoder =
        std::function<void(quint64 request, std::shared_ptr<const OpenedPhoto> photo, QSize box)>;
    void setPreviewDecoder(PreviewDecoder decoder) { m_previewDecoder = std::move(decoder); }
    void previewDecoded(quint64 request, const QImage& picture);
    void BitBtn6Click(); // map page

    // Sector settings and the browser choice.
    void CheckBox2Click(); // automatic declination
    void CheckBox3Click(); // automatic sensor size
    void CheckBox4Click(); // internal browser
    void CppWebBrowser1NavigateComplete2();
    // A position chosen on the embedded map becomes the new coordinates offered to the copy writer.
    void MapPositionPicked(double latitude, double longitude);
    // A "geo:" link the program was started with: the window opens with the map at that position,
    // which becomes the new latitude and longitude.
    void ShowMapAt(double latitude, double longitude);
    // A text pasted into Edit7 or Edit8: when it holds a whole position (positiontext.h) both
    // fields take it in the locale's format; otherwise nothing changes and the reading says why.
    PositionReading PastePosition(const QString& text);
    // The selected photo's position on the clipboard: "LAT, LON" with points, or a geo: URI.
    // Nothing for a photo without position.
    void CopyPosition(bool asGeoUri);
    // « Placer sur la carte »: for a photo without position, a map in the embedded browser where a
    // click puts the marker and fills Edit7/Edit8 (MapPositionPicked).
    void PlaceOnMap();
    bool canPlaceOnMap() const;

    // The desktop's default browser as a code ("FF", "CH", "OP"), or empty with a notice. Asked
    // once, when a map first goes to the user's browser.
    QString DetectDefaultBrowser();
    void OpenInExternalBrowser(const QString& pagePath, const QByteArray& page);

    // Path of the map page that the map commands write into the temporary directory.
    QString mapPagePath() const;
    MapSettings& mapSettings() { return m_mapSettings; }
    // The browser of the overview window (Form3); the main one until the window gives its own.
    void setOverviewBrowser(BrowserView& browser) { m_overviewBrowser = &browser; }
    ViewSectorInputs sectorInputs() const;

    // Adds an entry at its sorted place (case-insensitive; after entries that compare equal).
    void addToList(const QString& path);
    // Adds many entries as adding them one at a time in this order would, with one sort and one
    // merge; the selected entry stays selected.
    void addManyToList(const QStringList& paths);
    // Removes one entry (none when `index` is outside the list).
    void removeFromList(int index);

    // ListBox1 as a list model: the views that show it follow its changes row by row.
    EntryListModel& listModel() { return m_listModel; }

private:
    void runPipeline();
    // The photo at `path`, opened once for every step of a selection; opened on its own otherwise.
    std::shared_ptr<const OpenedPhoto> openedPhoto(const QString& path);
    void writeCopy(bool withPosition);
    // What both copy commands start with: both fields hold text and, for a geotagged copy, read as a
    // position (a beep otherwise). False: the command stops there.
    bool copyFields(bool withPosition, std::optional<GpsPosition>& position);
    // The copies of every selected photo at once: one question, one summary (severalcopies.cpp).
    void writeSeveralCopies(bool withPosition, const QStringList& selected);
    // The XMP sidecars of `photos` at the fields' position (severalcopies.cpp).
    void writeSidecars(const QStringList& photos);
    // The paths of the entries selected together, when there are several.
    QStringList severalSelected() const;
    // The position of the coordinate fields, kept for the next placing map once it was written.
    void rememberFieldsPosition();
    // The positions of the first listed photos that have one.
    QList<QPointF> listedPositions();
    void exportGpx(const QString& folder, const GpxTimes& times);
    PoiRun poiRun() { return {m_state.LatitudeRef, m_state.LongitudeRef, m_state.PoiRowCount}; }
    // How the list-wide commands open: the busy label shown and repainted, then SG0 rebuilt from a
    // copy of the list (the rebuild lets the window repaint, so it walks its own copy), returned.
    QStringList rebuildPoiTableOfList(const PoiRowReader& alsoRead = {});
    void clearList();
    void showEntryCount();
    void expand();
    void emptyResults();
    // Writes a map page and shows it in `view` (internal browser) or in the user's browser.
    void showMapPage(const QByteArray& page, BrowserView& view);

    // The selected photo while a selection's steps read it.
    std::shared_ptr<const OpenedPhoto> m_selection;
    PreviewDecoder m_previewDecoder;
    quint64 m_previewRequest = 0;
    Platform m_platform;
    MainControls m_controls;
    EntryListModel m_listModel{m_controls.ListBox1}; // every change of ListBox1 goes through it
    SharedState m_state;
    MapSettings m_mapSettings;
    MapPageFolder m_mapFolder;           // the run's own folder of map pages
    QByteArray m_busyGif, m_noGeotagGif; // the pictures, read once at start
    bool m_defaultBrowserAsked = false;
    BrowserView* m_overviewBrowser = nullptr;
    std::optional<QPointF> m_lastPosition; // written or clicked in this session (x longitude)
    bool m_shownPhotoReadable = false;     // the photo the coordinates were read from opened
};

// The program's pictures, looked for in the data folders only: a file of the same name in the folder
// the program was started from is never read. Empty when none has it.
QString locateDataFile(const QString& name, const QStringList& dataDirs);
// A picture's bytes (at most 1 MB, a regular file); empty when it cannot be read.
QByteArray readDataFile(const QString& path);

} // namespace vantorel
