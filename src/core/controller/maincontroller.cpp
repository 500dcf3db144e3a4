// SPDX-License-Identifier: GPL-3.0-or-later
#include "maincontroller.h"
#include "copyworker.h"

#include <QSet>

#include "display/picturedecoder.h"
#include "export/gpxwriter.h"
#include "files/atomicfile.h"
#include "files/regularfile.h"
#include "geotag/copyplace.h"
#include "geotag/geotagcopy.h"
#include "geotag/xmpsidecar.h"
#include "maps/browsercodes.h"
#include "maps/mappagefile.h"
#include "maps/overviewpage.h"
#include "maps/photomappage.h"
#include "maps/placingmappage.h"
#include "metadata/exiflisting.h"
#include "metadata/gpscoordinates.h"
#include "metadata/poitable.h"
#include "tables/gridcolumns.h"
#include "text/numberformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <cmath>
#include <unistd.h>

namespace vantorel {
namespace {

const QString kCoordHeaderGeotagged =
    QStringLiteral("\"Photo géocodée\",Latitude,Longitude,Lati,Longi,File_name");
const QString kCoordHeaderNotGeotagged =
    QStringLiteral("\"Cette photo n'est pas géocodée\",,,Lati,Longi,File_name");
const QString kCoordHeaderUnsupported =
    QStringLiteral("\"Format non pris en charge\",,,Lati,Longi,File_name");
const QString kExifHeader = QStringLiteral("\"Tag Exif\",Type,Valeur,,");
const QString kNoInternet =
    QStringLiteral("Pas de connexion internet détectée\nLes cartes GoogleMaps ne s'afficheront pas.");
const QString kNoClipboardText = QStringLiteral("Le Presse-papiers ne contient pas de texte.");
const QString kBusyGif = QStringLiteral("GeolocEnCours.gif");
const QString kNoGeotagGif = QStringLiteral("PhotoPasGeocodée.gif");
const QString kSensorDefault = QStringLiteral("1/2.4\"");

const QSize kPreviewSize(272, 353);
const QSize kExpandedSize(986, 695);

} // namespace

QString locateDataFile(const QString& name, const QStringList& dataDirs) {
    for (const QString& dir : dataDirs) {
        const QString candidate = QDir(dir).filePath(name);
        if (QFileInfo::exists(candidate)) return candidate;
    }
    return {};
}

QByteArray readDataFile(const QString& path) {
    // The pictures are a few kilobytes; anything larger is not ours.
    constexpr qint64 kLargestPicture = 1 << 20;
    if (path.isEmpty()) return {};
    const int fd = openRegularFile(path);
    if (fd < 0) return {};
    const std::optional<QByteArray> bytes = readWholeFile(fd, kLargestPicture);
    ::close(fd);
    return bytes.value_or(QByteArray());
}

MainController::MainController(Platform platform) : m_platform(platform), m_mapSettings(loadMapSettings()) {
    m_platform.browser.CppWebBrowser1NavigateComplete2 = [this](const QString&) {
        CppWebBrowser1NavigateComplete2();
    };
}

void MainController::FormCreate() {
    m_state.TempDir = runTemporaryFolder();
    // Folders that killed runs left behind (ours, their process gone).
    MapPageFolder::removeStaleFolders(m_state.TempDir);
    m_controls.geometry = QRect(0, 0, 210, 22);
    m_controls.SG1.setRowCommaText(0, kCoordHeaderGeotagged);
    m_controls.SG2.setRowCommaText(0, kExifHeader);
    m_controls.SG0.setRowCommaText(0, poiHeaderCommaText());
}

void MainController::FormShow(const QStringList& dataDirs) {
    m_controls.SG1.colWidths = {174, 80, 80, -1, -1, -1};
    m_controls.SG1.setRowCount(2);
    m_controls.SG2.colWidths = {105, 55, 155};
    m_state.BusyGifPath = locateDataFile(kBusyGif, dataDirs);
    m_state.NoGeotagGifPath = locateDataFile(kNoGeotagGif, dataDirs);
    m_busyGif = readDataFile(m_state.BusyGifPath);
    m_noGeotagGif = readDataFile(m_state.NoGeotagGifPath);
    m_state.InternetAvailable = true;
    if (m_platform.connectivity.CheckInternetConnection() != ConnectionState::Online) {
        m_state.InternetAvailable = false;
        m_platform.boxes.warning(kNoInternet);
    }
    m_controls.ComboBox1 = kSensorDefault;
    // The default browser is asked when a map first goes to it: the question takes a good part of a
    // second, which the window's start does not wait for.
}

QString MainController::mapPagePath() const {
    return m_mapFolder.pagePath(m_state.TempDir);
}

void MainController::FormClose() {
    m_mapFolder.remove();
}

void MainController::addToList(const QString& path) {
    QStringList& list = m_controls.ListBox1;
    const int index = int(std::upper_bound(list.begin(), list.end(), path, entryLess) - list.begin());
    m_listModel.inserting(index, index, [&] {
        list.insert(index, path);
        if (m_controls.ListBox1Index >= index) ++m_controls.ListBox1Index;
    });
}

void MainController::addManyToList(const QStringList& paths) {
    if (paths.size() <= 1) {
        for (const QString& path : paths)
            addToList(path);
        return;
    }
    SortedEntries sorted = sortEntries(paths, [this] { m_platform.pump.processMessages(); });
    MainControls& c = m_controls;
    const auto merge = [&] {
        c.ListBox1Index = mergeSortedEntries(c.ListBox1, std::move(sorted), c.ListBox1Index);
    };
    // Into an empty list the new rows are one block; otherwise they are scattered and the views start over.
    if (c.ListBox1.isEmpty())
        m_listModel.inserting(0, int(paths.size()) - 1, merge);
    else
        m_listModel.resetting(merge);
}

void MainController::removeFromList(int index) {
    if (index < 0 || index >= m_controls.ListBox1.size()) return;
    m_listModel.removing(index, index, [&] { m_controls.ListBox1.removeAt(index); });
}

void MainController::clearList() {
    if (!m_controls.ListBox1.isEmpty())
        m_listModel.removing(0, int(m_controls.ListBox1.size()) - 1, [this] { m_controls.ListBox1.clear(); });
    m_controls.ListBox1Index = -1;
}

void MainController::showEntryCount() {
    m_controls.Label8 = QString::number(m_controls.ListBox1.size());
}

void MainController::expand() {
    m_controls.geometry.setSize(kExpandedSize);
}

void MainController::runPipeline() {
    // One open and one head read for the position, the listing and the preview; the map page needs
    // no file. A step that lets the window handle events may start another selection, which opens
    // its own photo.
    m_selection = OpenedPhoto::open(m_state.CurrentPhotoPath);
    BitBtn1Click();
    BitBtn4Click();
    BitBtn7Click();
    m_selection.reset();
    BitBtn6Click();
}

std::shared_ptr<const OpenedPhoto> MainController::openedPhoto(const QString& path) {
    if (m_selection && m_selection->path() == path) return m_selection;
    return OpenedPhoto::open(path);
}

void MainController::ListBox1Click() {
    // Leaving a setting field with nothing selected has no photo to redo.
    const int index = m_controls.ListBox1Index;
    if (index < 0 || index >= m_controls.ListBox1.size()) return;
    m_state.CurrentPhotoPath = m_controls.ListBox1[index];
    m_controls.caption = m_state.CurrentPhotoPath;
    expand();
    m_controls.Label11Visible = true;
    m_controls.Image1 = QImage();
    m_controls.SG1.clearCells(CoordName, CoordLongitudeDegrees, 1);
    m_controls.SG2.clearCells(ExifName, ExifValue, 1);
    for (QString* s : {&m_controls.Label1, &m_controls.Label2, &m_controls.Label3, &m_controls.Label4,
                       &m_controls.Edit7, &m_controls.Edit8})
        s->clear();
    m_platform.pump.processMessages();
    runPipeline();
}

void MainController::RefreshAfterListChange() {
    expand();
    m_controls.caption = m_state.CurrentPhotoPath;
    m_controls.Label11Visible = true;
    m_controls.Image1 = QImage();
    m_platform.pump.processMessages();
    runPipeline();
    // Select the entry the coordinate reader has just shown (the first of equal entries).
    m_controls.ListBox1Index = findEntry(m_controls.ListBox1, m_controls.SG1.cell(CoordPath, 1));
}

void MainController::HandleDroppedFiles(const QStringList& paths) {
    if (!m_controls.CheckBox1) {
        clearList();
    }
    if (!paths.isEmpty()) m_state.CurrentPhotoPath = paths.last();
    addManyToList(paths);
    showEntryCount();
    RefreshAfterListChange();
}

void MainController::BitBtn20Click() {
    const auto chosen = m_platform.dialogs.openPictures();
    if (!chosen) return;
    if (m_controls.CheckBox1) {
        if (!chosen->isEmpty()) m_state.CurrentPhotoPath = chosen->last();
        addManyToList(*chosen);
    } else {
        clearList();
        addManyToList(*chosen);
        if (!m_controls.ListBox1.isEmpty()) m_state.CurrentPhotoPath = m_controls.ListBox1.last();
    }
    showEntryCount();
    if (m_controls.ListBox1.isEmpty()) return;
    RefreshAfterListChange();
}

void MainController::BitBtn16Click() {
    const auto text = m_platform.clipboard.text();
    if (!text) {
        m_platform.boxes.showMessage(kNoClipboardText);
        return;
    }
    if (!m_controls.CheckBox1) {
        clearList();
    }
    // One entry per line, unchanged; a final line break adds no entry.
    QStringList lines = text->split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    addManyToList(lines);
    showEntryCount();
    // With nothing listed there is no photo to show.
    if (m_controls.ListBox1.isEmpty()) return;
    m_state.CurrentPhotoPath = m_controls.ListBox1.last();
    RefreshAfterListChange();
}

void MainController::emptyResults() {
    m_controls.Label7Visible = false;
    m_controls.SG1.clearCells(CoordName, CoordLongitudeDegrees, 1);
    m_controls.SG2.clearCells(ExifName, ExifValue, 1);
    for (QString* s : {&m_controls.Label1, &m_controls.Label2, &m_controls.Label3, &m_controls.Label4})
        s->clear();
    m_controls.Image1 = QImage();
}

void MainController::BitBtn12Click() {
    const int index = m_controls.ListBox1Index;
    removeFromList(index);
    m_controls.ListBox1Index = -1;
    showEntryCount();
    if (!m_controls.ListBox1.isEmpty()) {
        m_state.CurrentPhotoPath = m_controls.ListBox1.last();
        RefreshAfterListChange();
        return;
    }
    if (m_controls.CheckBox4) m_platform.browser.navigate(QStringLiteral("about:blank"));
    emptyResults();
    m_controls.Edit7.clear();
    m_controls.Edit8.clear();
}

namespace {

const QString kGpxEmptyList = QStringLiteral("Il n'y a aucun image géocodée à exporter en Gpx.");
const QString kGpxCannotCreate = QStringLiteral("Impossible de creer le fichier GPX");

QString gpxOverwriteQuestion(const QString& path) {
    return QStringLiteral("Le fichier :\n") + path + QStringLiteral("\nexiste déja. \n\nL'écraser ?");
}

QString gpxWrittenMessage(const QString& path, int waypoints) {
    return QStringLiteral("Le fichier\n") + path +
           QStringLiteral("\na été correctement créé.\n\nIl contient ") + QString::number(waypoints) +
           QStringLiteral(" POIs");
}

} // namespace

QStringList MainController::rebuildPoiTableOfList(const PoiRowReader& alsoRead) {
    m_controls.Label11Visible = true;
    m_platform.pump.processMessages();
    const QStringList entries = m_controls.ListBox1;
    rebuildPoiTable(
        poiRun(), m_controls.SG0, entries, [this](const QString& path) { m_state.CurrentPhotoPath = path; },
        [this] { m_platform.pump.processMessages(); }, alsoRead);
    return entries;
}

void MainController::BitBtn13Click() {
    MainControls& c = m_controls;
    if (c.ListBox1.isEmpty()) {
        m_platform.boxes.warning(kGpxEmptyList);
        return;
    }
    GpxTimes times;
    const QStringList entries = rebuildPoiTableOfList(times.reader());
    // The dialog opens in the selected entry's folder, or the first entry's when none is selected.
    const int index = c.ListBox1Index >= 0 && c.ListBox1Index < entries.size() ? c.ListBox1Index : 0;
    exportGpx(QFileInfo(entries[index]).path(), times);
    c.Label11Visible = false;
}

void MainController::exportGpx(const QString& folder, const GpxTimes& times) {
    if (m_controls.SG0.rowCount() < 2) {
        m_platform.boxes.warning(kGpxNoGeotagged);
        return;
    }
    const auto target = m_platform.dialogs.saveGpx(folder, kGpxDefaultName);
    if (!target) return;
    if (QFileInfo::exists(*target) && !m_platform.boxes.warningYesCancel(gpxOverwriteQuestion(*target)))
        return;
    // Written whole or not at all: a failed write leaves an existing file as it was.
    const auto pump = [this] { m_platform.pump.processMessages(); };
    const GpxFile file = buildGpx(m_controls.SG0, m_state.PoiRowCount, times, pump);
    AtomicWriteOptions options;
    options.progress = pump;
    if (!writeFileAtomically(*target, file.bytes, nullptr, options)) {
        m_platform.boxes.showMessage(kGpxCannotCreate);
        return;
    }
    m_platform.boxes.information(gpxWrittenMessage(*target, file.waypoints));
}

void MainController::BitBtn15Click() {
    MainControls& c = m_controls;
    c.SG1.setRowCommaText(0, kCoordHeaderGeotagged);
    c.SG1.fontColor = Qt::black;
    rebuildPoiTableOfList();
    clearList();
    m_platform.pump.processMessages();
    QStringList kept;
    kept.reserve(m_state.PoiRowCount);
    for (int row = 1; row <= m_state.PoiRowCount; ++row)
        kept << c.SG0.cell(PoiPath, row);
    addManyToList(kept);
    showEntryCount();
    emptyResults();
    c.SG2.setRowCount(2);
    if (c.CheckBox4) m_platform.browser.navigate(QStringLiteral("about:blank"));
    c.Label11Visible = false;
    // The last photo kept is shown and selected, so the window never names a removed one.
    if (c.ListBox1.isEmpty()) return;
    m_state.CurrentPhotoPath = c.ListBox1.last();
    RefreshAfterListChange();
}

void MainController::BitBtn14Click() {
    MainControls& c = m_controls;
    rebuildPoiTableOfList();
    if (c.SG0.rowCount() < 2) {
        m_platform.boxes.warning(kNoGeotaggedPhotoForMap);
        c.Label11Visible = false;
        return;
    }
    if (!c.SG0.cell(PoiSignedLatitude, 1).isEmpty() && !c.SG0.cell(PoiSignedLongitude, 1).isEmpty()) {
        if (c.CheckBox4) c.Form3Visible = true;
        c.Form3Geometry = QRect(c.geometry.left() + 18, c.geometry.top() + 8, 973, 723);
        // Past the limit every point is still shown, after the notice.
        if (c.SG0.rowCount() >= kOverviewRowLimitCount) m_platform.boxes.showMessage(kOverviewRowLimit);
        const auto pump = [this] { m_platform.pump.processMessages(); };
        const OverviewFrame frame = overviewFrame(c.SG0, pump);
        showMapPage(buildOverviewPage(c.SG0, frame, m_mapSettings, pump),
                    m_overviewBrowser ? *m_overviewBrowser : m_platform.browser);
    }
    c.Label11Visible = false;
}

void MainController::BitBtn9Click() {
    m_controls.geometry.setSize(QSize(200, 22));
}

void MainController::BitBtn5Click() {
    const QStringList several = severalSelected();
    if (m_controls.writeSidecar)
        writeSidecars(several.size() > 1 ? several : QStringList{m_controls.caption});
    else if (several.size() > 1)
        writeSeveralCopies(true, several);
    else
        writeCopy(true);
}

void MainController::BitBtn23Click() {
    if (const QStringList several = severalSelected(); several.size() > 1)
        writeSeveralCopies(false, several);
    else
        writeCopy(false);
}

bool MainController::copyFields(bool withPosition, std::optional<GpsPosition>& position) {
    MainControls& c = m_controls;
    if (c.Edit7.isEmpty() || c.Edit8.isEmpty()) return false;
    m_state.CurrentPhotoPath = c.caption;
    if (!withPosition) return true;
    // An unreadable or impossible coordinate is refused: no copy with a made-up position.
    const CoordinateFields fields = readCoordinateFields(c.Edit7, c.Edit8);
    if (fields.status != CoordinateInput::Ok) {
        m_platform.boxes.beep();
        return false;
    }
    position = fields.position;
    return true;
}

void MainController::writeCopy(bool withPosition) {
    MainControls& c = m_controls;
    std::optional<GpsPosition> position;
    if (!copyFields(withPosition, position)) return;
    // A photo whose own file is never written: its position goes to a sidecar, and none can be erased.
    if (photoTakesSidecarOnly(m_state.CurrentPhotoPath)) {
        if (withPosition) return writeSidecars({m_state.CurrentPhotoPath});
        m_platform.boxes.error(kCoordinatesNotWritten + QLatin1Char('\n') + kSidecarCannotErase);
        return;
    }
    const QString target =
        copyPathFor(m_state.CurrentPhotoPath, withPosition ? kGeotaggedPrefix : kErasedPrefix);
    const bool replacing = copyExists(target);
    if (replacing && !m_platform.boxes.warningYesCancel(overwriteQuestion(target))) {
        m_platform.boxes.beep();
        m_platform.pump.processMessages();
        return;
    }
    // The old copy stays in place until the new one is complete and reads back right.
    // Only the copy the user agreed to replace is replaced, not one that appeared meanwhile.
    const bool everything = !withPosition && c.eraseAllLocation;
    const CopyResult written = writeCopyBesideWindow(
        m_platform.pump, m_state.CurrentPhotoPath, target, position, everything, replacing,
        position && c.writePlace ? copyPlaceAt(*position) : LocationMetadataEdit::Place());
    if (!written.ok) {
        // Why, on a second line: a photo gone or unreadable, or what the writer met.
        const QString unreadable = unreadableFileReason(m_state.CurrentPhotoPath);
        m_platform.boxes.error(kCoordinatesNotWritten + QLatin1Char('\n') +
                               (unreadable.isEmpty() ? written.error : unreadable));
        return;
    }
    if (withPosition) rememberFieldsPosition();
    m_platform.boxes.confirmation(
        copyWrittenMessage(target, replacing) +
        (everything ? QStringLiteral("\n\n") + removalsSummary(written.removed) : QString()));
    // Only the entries before the selected one are looked at.
    const int before = std::clamp<int>(c.ListBox1Index, 0, int(c.ListBox1.size()));
    if (!c.ListBox1.mid(0, before).contains(target)) {
        addToList(target);
        showEntryCount();
    }
}

void MainController::addTrackCopies(const QStringList& copies) {
    const QSet<QString> present(m_controls.ListBox1.begin(), m_controls.ListBox1.end());
    QStringList added;
    // A RAW's sidecar is written beside it, but is no photo for the list.
    for (const QString& copy : copies)
        if (!present.contains(copy) && !copy.endsWith(QLatin1String(".xmp"))) added << copy;
    addManyToList(added);
    showEntryCount();
}

void MainController::BitBtn1Click() {
    if (m_state.CurrentPhotoPath.isEmpty()) return;
    MainControls& c = m_controls;
    c.SG1.clearCells(CoordName, CoordPath, 1);
    c.SG1.setRowCount(2);
    for (QString* s : {&c.Label1, &c.Label2, &c.Label3, &c.Label4})
        s->clear();

    c.SG1.setRowCommaText(0, kCoordHeaderGeotagged);
    c.SG1.fontColor = Qt::black;
    const CoordinateReading r =
        ReadGpsCoordinates(*openedPhoto(m_state.CurrentPhotoPath), m_state.LatitudeRef, m_state.LongitudeRef);
    m_shownPhotoReadable = r.readError == FileOpenError::None;
    for (int col = 0; col < CoordColumnCount; ++col)
        c.SG1.setCell(col, 1, r.cells[col]);
    c.Edit7 = r.offeredLatitude;
    c.Edit8 = r.offeredLongitude;
    c.Label1 = r.signedLatitude;
    c.Label2 = r.signedLongitude;
    m_platform.pump.processMessages();

    if (!r.geotagged) {
        // A photo no reader can read is not said to have no position.
        c.SG1.setRowCommaText(0, r.readError == FileOpenError::UnsupportedFormat ? kCoordHeaderUnsupported
                                                                                 : kCoordHeaderNotGeotagged);
        c.SG1.setRowCount(2);
        c.SG1.fontColor = Qt::red;
        c.BitBtn23Enabled = false;
        if (c.CheckBox4) m_platform.browser.showPicture(m_state.NoGeotagGifPath, m_noGeotagGif);
        m_state.PhotoNotGeotagged = true;
        m_platform.pump.processMessages();
        return;
    }
    m_state.PhotoNotGeotagged = false;
    c.BitBtn23Enabled = true;
    if (r.missing != MissingReferences::None)
        m_platform.boxes.showMessage(missingReferencesMessage(r.missing));
}

void MainController::BitBtn4Click() {
    MainControls& c = m_controls;
    m_state.DirectionIsMagnetic = true;
    m_state.Landscape = true;
    m_state.FocalLength = 10.0f;
    m_state.CameraModel.clear();
    if (!m_state.CurrentPhotoPath.isEmpty()) {
        c.caption = m_state.CurrentPhotoPath;
        c.SG2.setRowCommaText(0, kExifHeader);
        c.SG2.clearCells(ExifName, ExifValue, 1);
        c.SG2.setRowCount(2);
        const ExifListing listing = listExifItems(*openedPhoto(m_state.CurrentPhotoPath));
        if (!listing.opened) m_platform.boxes.showMessage(listing.failureMessage());
        c.SG2.setRowCount(std::max<int>(2, int(listing.rows.size()) + 1));
        for (int i = 0; i < listing.rows.size(); ++i) {
            c.SG2.setCell(ExifName, i + 1, listing.rows[i].name);
            c.SG2.setCell(ExifType, i + 1, listing.rows[i].type);
            c.SG2.setCell(ExifValue, i + 1, listing.rows[i].value);
        }
        m_state.FocalLength = listing.focalLength;
        m_state.CameraModel = listing.cameraModel;
        m_state.DirectionIsMagnetic = listing.directionIsMagnetic;
        m_state.Landscape = listing.landscape;
        if (listing.directionRefSeen) c.declinationControlsEnabled = listing.directionIsMagnetic;
    }
    m_state.ViewDirection = viewDirectionFromRows(c.SG2);
    referenceLabelsFromRows(c.SG2, c.Label3, c.Label4);
    c.Label11Visible = false;
    m_platform.pump.processMessages();
}

void MainController::BitBtn7Click() {
    const QString path = m_controls.SG1.cell(CoordPath, 1);
    m_controls.Image1 = QImage();
    // A ".JPG" file as ever, and the photos of the other formats the program shows, whatever their name.
    auto shown = openedPhoto(path);
    if (pictureFormatOf(*shown) == PictureFormat::None) shown.reset();
    ++m_previewRequest;
    if (m_previewDecoder)
        m_previewDecoder(m_previewRequest, shown, kPreviewSize);
    else if (shown)
        m_controls.Image1 = decodePicturePreview(*shown, kPreviewSize);
}

void MainController::previewDecoded(quint64 request, const QImage& picture) {
    // Dropped when a newer selection asked again or the list was emptied since.
    if (request != m_previewRequest || m_controls.ListBox1.isEmpty()) return;
    m_controls.Image1 = picture;
}

ViewSectorInputs MainController::sectorInputs() const {
    return {.ViewDirection = m_state.ViewDirection,
            .DirectionIsMagnetic = m_state.DirectionIsMagnetic,
            .Landscape = m_state.Landscape,
            .FocalLength = m_state.FocalLength,
            .CameraModel = m_state.CameraModel,
            .automaticDeclination = m_controls.CheckBox2,
            .manualDeclinationText = m_controls.Edit1,
            .compassCorrectionText = m_controls.Edit2,
            .automaticSensorSize = m_controls.CheckBox3,
            .manualSensorSizeText = m_controls.ComboBox1};
}

void MainController::BitBtn6Click() {
    MainControls& c = m_controls;
    if (c.CheckBox4 && !m_state.PhotoNotGeotagged)
        m_platform.browser.showPicture(m_state.BusyGifPath, m_busyGif);
    m_platform.pump.processMessages();
    c.Label7Visible = false;
    std::optional<PhotoMapPage> page = photoMapPageFromGrid(c.SG1);
    if (!page || !m_state.InternetAvailable) return;
    const ViewSector sector = ComputeViewSector(page->latitudeText, page->longitudeText, sectorInputs());
    const bool directionKnown = hasViewDirection(m_state.ViewDirection);
    if (directionKnown)
        page->sector = PhotoMapPage::Corners{sector.edge1LatitudeText, sector.edge1LongitudeText,
                                             sector.edge2LatitudeText, sector.edge2LongitudeText};
    showMapPage(BuildPhotoMapPage(*page, m_mapSettings), m_platform.browser);
    if (!directionKnown) return;
    c.Label7 = sectorCaption(sector, m_state.DirectionIsMagnetic);
    c.Label7Visible = true;
}

void MainController::showMapPage(const QByteArray& page, BrowserView& view) {
    // The file is for the user who opens it by hand; what is shown is the page built here.
    const bool written =
        m_mapFolder.writePage(m_state.TempDir, page, nullptr, [this] { m_platform.pump.processMessages(); });
    if (!written) m_platform.boxes.showMessage(kCannotCreateMapPage);
    if (m_controls.CheckBox4)
        view.showPage(mapPagePath(), page);
    else
        OpenInExternalBrowser(written ? mapPagePath() : QString(), page);
}

void MainController::CheckBox2Click() {
    m_controls.manualDeclinationVisible = !m_controls.CheckBox2;
    if (hasViewDirection(m_state.ViewDirection) && !m_controls.ListBox1.isEmpty()) ListBox1Click();
}

void MainController::CheckBox3Click() {
    m_controls.manualSensorVisible = !m_controls.CheckBox3;
    if (hasViewDirection(m_state.ViewDirection) && !m_controls.ListBox1.isEmpty()) ListBox1Click();
}

void MainController::CheckBox4Click() {
    m_platform.browser.navigate(QStringLiteral("about:blank"));
}

void MainController::CppWebBrowser1NavigateComplete2() {
    m_controls.Label11Visible = false;
    m_platform.pump.processMessages();
}

void MainController::MapPositionPicked(double latitude, double longitude) {
    if (!std::isfinite(latitude) || !std::isfinite(longitude)) return;
    // A map scrolled round the world gives longitudes beyond ±180.
    longitude = std::remainder(longitude, 360.0);
    m_controls.Edit7 = FloatToStrF(std::clamp(latitude, -90.0, 90.0), 15, 5);
    m_controls.Edit8 = FloatToStrF(longitude, 15, 5);
    m_lastPosition = QPointF(longitude, std::clamp(latitude, -90.0, 90.0));
}

PositionReading MainController::PastePosition(const QString& text) {
    const PositionReading r = readPositionText(text);
    if (r.ok) {
        m_controls.Edit7 = FloatToStrF(r.latitude, 15, 5);
        m_controls.Edit8 = FloatToStrF(r.longitude, 15, 5);
    }
    return r;
}

void MainController::CopyPosition(bool asGeoUri) {
    const MainControls& c = m_controls;
    if (m_state.PhotoNotGeotagged || c.Label1.isEmpty() || c.Label2.isEmpty()) return;
    m_platform.clipboard.setText(asGeoUri ? geoUriText(c.Label1, c.Label2)
                                          : pointPairText(c.Label1, c.Label2));
}

bool MainController::canPlaceOnMap() const {
    // Not tied to the connectivity check made at start: the map's script is in the page, and a
    // check that cannot tell (no network service) would hide the command for good.
    // A folder or a missing file is no photo to place.
    return m_state.PhotoNotGeotagged && m_shownPhotoReadable && !m_controls.ListBox1.isEmpty() &&
           !m_controls.SG1.cell(CoordPath, 1).isEmpty();
}

void MainController::rememberFieldsPosition() {
    const auto lat = coordinateMagnitude(m_controls.Edit7), lon = coordinateMagnitude(m_controls.Edit8);
    if (!lat || !lon) return;
    const auto sign = [](const QString& text) { return text.startsWith(u'-') ? -1.0 : 1.0; };
    m_lastPosition = QPointF(sign(m_controls.Edit8) * *lon, sign(m_controls.Edit7) * *lat);
}

QList<QPointF> MainController::listedPositions() {
    // Enough photos to frame the map, without reading a list of thousands.
    constexpr int kPhotosLookedAt = 1000;
    QList<QPointF> found;
    QString latitudeRef, longitudeRef;
    const QStringList entries = m_controls.ListBox1.mid(0, kPhotosLookedAt);
    for (int i = 0; i < entries.size(); ++i) {
        const CoordinateReading r = ReadGpsCoordinates(entries[i], latitudeRef, longitudeRef);
        const auto lat = StrToFloat(r.signedLatitude), lon = StrToFloat(r.signedLongitude);
        if (r.geotagged && lat && lon) found << QPointF(*lon, *lat);
        if (i % 50 == 49) m_platform.pump.processMessages();
    }
    return found;
}

void MainController::PlaceOnMap() {
    if (!canPlaceOnMap()) {
        m_platform.boxes.beep();
        return;
    }
    const QList<QPointF> photos = m_lastPosition ? QList<QPointF>() : listedPositions();
    const QByteArray page = BuildPlacingMapPage(placingFrame(m_lastPosition, photos), m_mapSettings);
    // The file is for the user who opens it by hand; what is shown is the page built here.
    if (!m_mapFolder.writePage(m_state.TempDir, page, nullptr, [this] { m_platform.pump.processMessages(); }))
        m_platform.boxes.showMessage(kCannotCreateMapPage);
    // Always the embedded browser: only there does a click reach the coordinate fields.
    m_platform.browser.showPage(mapPagePath(), page);
}

void MainController::ShowMapAt(double latitude, double longitude) {
    expand();
    MapPositionPicked(latitude, longitude);
    if (!m_state.InternetAvailable) return;
    PhotoMapPage page;
    page.latitudeText = QString::number(latitude, 'f', 6);
    page.longitudeText = QString::number(longitude, 'f', 6);
    page.title = m_controls.Edit7 + QStringLiteral(" ; ") + m_controls.Edit8;
    showMapPage(BuildPhotoMapPage(page, m_mapSettings), m_platform.browser);
}

QString MainController::DetectDefaultBrowser() {
    const ExternalBrowser::DefaultBrowser found = m_platform.externalBrowser.defaultBrowser();
    if (found.desktopEntry.isEmpty()) {
        m_platform.boxes.warningYes(noDefaultBrowserMessage(found.setting));
        return {};
    }
    const QString code = browserCodeFor(found.desktopEntry);
    if (code.isEmpty()) m_platform.boxes.showMessage(kUnknownBrowser);
    return code;
}

void MainController::OpenInExternalBrowser(const QString& pagePath, const QByteArray& page) {
    ExternalBrowser& browser = m_platform.externalBrowser;
    if (!m_defaultBrowserAsked && m_state.DefaultBrowserName.isEmpty())
        m_state.DefaultBrowserName = DetectDefaultBrowser();
    m_defaultBrowserAsked = true;
    if (browserLaunchFor(m_state.DefaultBrowserName, QString()).programs.isEmpty()) {
        m_platform.boxes.showMessage(kBrowserNotIdentified);
        return;
    }
    // The browser's command line, which every local user can read, names a file of the run's
    // private folder that sends it to the served page; never the served address itself.
    QString opened = pagePath;
    const QString address = browser.pageAddress(page);
    if (!address.isEmpty())
        opened = m_mapFolder.writeFile(m_state.TempDir, kBrowserPageName, browserRedirectPage(address))
                     ? m_mapFolder.filePath(m_state.TempDir, kBrowserPageName)
                     : QString();
    // Neither served nor written, or the folder is no longer ours: nothing of ours to open.
    if (opened.isEmpty() || !m_mapFolder.stillAtItsPath()) return;
    const BrowserLaunch launch = browserLaunchFor(m_state.DefaultBrowserName,
                                                  QUrl::fromLocalFile(opened).toString(QUrl::FullyEncoded));
    // A browser that is not installed or does not start is not reported.
    const QString program = browser.findProgram(launch.programs);
    if (!program.isEmpty()) browser.launch(program, launch.arguments);
}

} // namespace vantorel
