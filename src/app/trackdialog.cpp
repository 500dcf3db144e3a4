// SPDX-License-Identifier: GPL-3.0-or-later
#include "trackdialog.h"

#include "webmapview.h"

#include "controller/severalcopies.h"
#include "maps/mappagefile.h"
#include "maps/trackmappage.h"
#include "metadata/gpscoordinates.h"
#include "tracks/clockerror.h"
#include "tracks/trackfiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTimeEdit>
#include <QTimeZone>
#include <QTimer>
#include <QVBoxLayout>

namespace vantorel {
namespace {

const QString kTitle = QStringLiteral("Trace GPS");
const QString kNoTrack = QStringLiteral("Aucune trace choisie");
const QString kUnreadableError = QStringLiteral("Décalage illisible : SS, MM:SS, HH:MM:SS ou J HH:MM:SS");
const QString kUnknownZone = QStringLiteral("Fuseau inconnu");
const QString kFromTrack = QStringLiteral("d'après la trace");
const QString kNothingToWrite = QStringLiteral("Aucune photo n'est placée sur la trace.");
const QString kWriting = QStringLiteral("Écriture des copies géocodées");
const QString kReadingTracks = QStringLiteral("Lecture des traces…");
const QString kRed = QStringLiteral("color: red");

// What the user set stays for the rest of the run, from one opening of the dialog to the next.
struct TrackSession {
    QStringList files;
    QString zone;
    QString clockError = QStringLiteral("0");
};

TrackSession& session() {
    static TrackSession s;
    return s;
}

} // namespace

TrackDialog::TrackDialog(const QStringList& photos, TrackDialogServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)) {
    setObjectName(QStringLiteral("TrackDialog"));
    setWindowTitle(kTitle);
    m_photos = readPhotosForTrack(photos);
    buildWidgets();
    if (!session().zone.isEmpty() && (m_services.zoneAt || session().zone != kFromTrack))
        m_zone->setCurrentText(session().zone);
    m_clockError->setText(session().clockError);
    wire();
    refreshPlacements();
    m_table->resizeColumnsToContents();
    // The tracks of an earlier opening, read again once the dialog is up.
    if (!session().files.isEmpty())
        QTimer::singleShot(0, this, [this] {
            if (readTracks(session().files))
                showMap();
            else
                session().files.clear(); // said once, not at every opening
        });
}

TrackDialog::~TrackDialog() = default;

void TrackDialog::buildWidgets() {
    auto* layout = new QVBoxLayout(this);
    auto* tracksRow = new QHBoxLayout;
    m_addTracks = new QPushButton(QStringLiteral("Ajouter des traces…"), this);
    m_addTracks->setObjectName(QStringLiteral("addTracks"));
    m_tracksLabel = new QLabel(kNoTrack, this);
    m_tracksLabel->setTextFormat(Qt::PlainText); // track file names, never markup
    tracksRow->addWidget(m_addTracks);
    tracksRow->addWidget(m_tracksLabel, 1);
    layout->addLayout(tracksRow);

    auto* form = new QFormLayout;
    m_zone = new QComboBox(this);
    m_zone->setObjectName(QStringLiteral("zone"));
    m_zone->setEditable(true);
    // Each photo in the zone of the town nearest the track when it was taken.
    if (m_services.zoneAt) m_zone->addItem(kFromTrack);
    m_zone->addItem(QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    m_zone->addItem(QStringLiteral("UTC"));
    QStringList zoneNames;
    for (const QByteArray& id : QTimeZone::availableTimeZoneIds())
        zoneNames << QString::fromUtf8(id);
    m_zone->addItems(zoneNames);
    // « Paris » offers « Europe/Paris ».
    auto* completer = new QCompleter(zoneNames, m_zone);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    m_zone->setCompleter(completer);
    m_zone->setInsertPolicy(QComboBox::NoInsert);
    form->addRow(QStringLiteral("Fuseau de l'appareil (photos sans décalage) :"), m_zone);
    m_clockError = new QLineEdit(QStringLiteral("0"), this);
    m_clockError->setObjectName(QStringLiteral("clockError"));
    m_clockError->setToolTip(
        QStringLiteral("Avance de l'horloge de l'appareil sur l'heure vraie : SS, MM:SS, "
                       "HH:MM:SS ou J HH:MM:SS, négative si elle retardait"));
    form->addRow(QStringLiteral("Décalage de l'horloge :"), m_clockError);

    auto* clockRow = new QHBoxLayout;
    m_clockPhoto = new QComboBox(this);
    for (const PhotoOnTrack& photo : m_photos)
        m_clockPhoto->addItem(fileNameOf(photo.path));
    m_clockShown = new QTimeEdit(this);
    m_clockShown->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_clockInUtc = new QCheckBox(QStringLiteral("UTC"), this);
    m_computeError = new QPushButton(QStringLiteral("Calculer le décalage"), this);
    m_computeError->setObjectName(QStringLiteral("computeError"));
    clockRow->addWidget(m_clockPhoto, 1);
    clockRow->addWidget(new QLabel(QStringLiteral("montre l'heure"), this));
    clockRow->addWidget(m_clockShown);
    clockRow->addWidget(m_clockInUtc);
    clockRow->addWidget(m_computeError);
    form->addRow(QStringLiteral("Photo de l'horloge du GPS :"), clockRow);

    auto* limitsRow = new QHBoxLayout;
    m_maxGap = new QSpinBox(this);
    m_maxGap->setRange(0, 86400 * 7);
    m_maxGap->setValue(kDefaultMaxGapSeconds);
    m_maxGap->setSuffix(QStringLiteral(" s"));
    m_maxDistance = new QSpinBox(this);
    m_maxDistance->setRange(0, 86400 * 7);
    m_maxDistance->setValue(kDefaultMaxDistanceSeconds);
    m_maxDistance->setSuffix(QStringLiteral(" s"));
    m_replace = new QCheckBox(QStringLiteral("Remplacer les positions existantes"), this);
    limitsRow->addWidget(new QLabel(QStringLiteral("Écart maximal entre deux points :"), this));
    limitsRow->addWidget(m_maxGap);
    limitsRow->addWidget(new QLabel(QStringLiteral("Point le plus proche à moins de :"), this));
    limitsRow->addWidget(m_maxDistance);
    limitsRow->addWidget(m_replace);
    limitsRow->addStretch(1);
    form->addRow(limitsRow);
    layout->addLayout(form);

    auto* splitter = new QSplitter(this);
    m_table = new QTableWidget(0, TrackColumnCount, splitter);
    m_table->setObjectName(QStringLiteral("trackTable"));
    m_table->setHorizontalHeaderLabels(trackTableHeader());
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(TrackPlace, QHeaderView::ResizeToContents);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    splitter->addWidget(m_table);
    if (m_services.webEngine) {
        m_map = new WebMapView(QStringLiteral("trackMap"), splitter);
        m_map->setMinimumSize(360, 300);
        splitter->addWidget(m_map);
    }
    layout->addWidget(splitter, 1);

    m_status = new QLabel(this);
    layout->addWidget(m_status);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_write = new QPushButton(QStringLiteral("Écrire les copies"), this);
    m_write->setObjectName(QStringLiteral("writeCopies"));
    m_writeSelection = new QPushButton(QStringLiteral("Écrire la sélection"), this);
    m_writeSelection->setObjectName(QStringLiteral("writeSelection"));
    m_writeSelection->setToolTip(QStringLiteral("Seulement les photos choisies dans le tableau : chaque "
                                                "appareil peut avoir son propre décalage"));
    m_close = new QPushButton(QStringLiteral("Fermer"), this);
    buttons->addWidget(m_writeSelection);
    buttons->addWidget(m_write);
    buttons->addWidget(m_close);
    layout->addLayout(buttons);
    resize(1100, 700);
}

void TrackDialog::wire() {
    connect(m_addTracks, &QPushButton::clicked, this, &TrackDialog::addTracks);
    connect(m_computeError, &QPushButton::clicked, this, &TrackDialog::computeClockError);
    connect(m_write, &QPushButton::clicked, this, &TrackDialog::writeCopies);
    connect(m_writeSelection, &QPushButton::clicked, this, &TrackDialog::writeSelectedCopies);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &TrackDialog::refreshPlacements);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_zone, &QComboBox::currentTextChanged, this, &TrackDialog::refreshPlacements);
    connect(m_clockError, &QLineEdit::textChanged, this, &TrackDialog::refreshPlacements);
    connect(m_maxGap, &QSpinBox::valueChanged, this, &TrackDialog::refreshPlacements);
    connect(m_maxDistance, &QSpinBox::valueChanged, this, &TrackDialog::refreshPlacements);
    connect(m_replace, &QCheckBox::toggled, this, &TrackDialog::refreshPlacements);
    if (m_map)
        connect(m_map, &QWebEngineView::loadFinished, this, [this](bool ok) {
            m_mapLoaded = ok;
            if (ok) m_map->page()->runJavaScript(trackMarkersScript(placedMarkers()));
        });
}

bool TrackDialog::zoneFromTrack() const {
    return m_services.zoneAt && m_zone->currentText() == kFromTrack;
}

CorrelationSettings TrackDialog::settings() const {
    CorrelationSettings s;
    if (zoneFromTrack())
        s.zoneAt = m_services.zoneAt; // the system's zone as the first guess
    else
        s.zone = zoneFromText(m_zone->currentText());
    s.clockErrorMs = parseClockError(m_clockError->text()).value_or(0);
    s.maxGapSeconds = m_maxGap->value();
    s.maxDistanceSeconds = m_maxDistance->value();
    s.replace = m_replace->isChecked();
    return s;
}

QVector<TrackMapPhoto> TrackDialog::placedMarkers() const {
    QVector<TrackMapPhoto> markers;
    for (const PhotoOnTrack& photo : m_photos)
        if (photo.placement.status == PlacementStatus::Placed)
            markers.append({photo.placement.position->latitude, photo.placement.position->longitude,
                            fileNameOf(photo.path)});
    return markers;
}

QString TrackDialog::blockedReason() const {
    if (!parseClockError(m_clockError->text())) return kUnreadableError;
    if (!zoneFromTrack() && !zoneFromText(m_zone->currentText()).isValid()) return kUnknownZone;
    return {};
}

void TrackDialog::refreshPlacements() {
    const bool errorRead = parseClockError(m_clockError->text()).has_value();
    const bool zoneKnown = zoneFromTrack() || zoneFromText(m_zone->currentText()).isValid();
    m_clockError->setStyleSheet(errorRead ? QString() : kRed);
    if (m_zone->lineEdit()) m_zone->lineEdit()->setStyleSheet(zoneKnown ? QString() : kRed);
    session().zone = m_zone->currentText();
    session().clockError = m_clockError->text();
    // While a field is unreadable, nothing is placed: no row keeps what an earlier value gave.
    const QString blocked = blockedReason();
    if (blocked.isEmpty())
        placePhotos(m_photos, m_fixes, settings());
    else
        for (PhotoOnTrack& photo : m_photos)
            if (photo.placement.status == PlacementStatus::Placed) {
                photo.placement.status = PlacementStatus::OutsideTrack;
                photo.placement.position.reset();
            }

    m_table->setRowCount(int(m_photos.size()));
    int placed = 0;
    for (int row = 0; row < m_photos.size(); ++row) {
        const QStringList cells = trackTableRow(m_photos[row], blocked);
        if (m_photos[row].placement.status == PlacementStatus::Placed) ++placed;
        const bool zoneChange = !m_photos[row].placement.nearbyZone.isEmpty() && blocked.isEmpty();
        for (int col = 0; col < TrackColumnCount; ++col) {
            QTableWidgetItem* item = m_table->item(row, col);
            if (!item) m_table->setItem(row, col, item = new QTableWidgetItem);
            item->setText(cells[col]);
            const bool red =
                blocked.isEmpty() ? zoneChange && col == TrackZone : col == TrackUtcTime || col == TrackPlace;
            item->setForeground(red ? QBrush(Qt::red) : m_table->palette().text());
        }
    }
    QString status = trackPlacementSummary(m_photos);
    if (!blocked.isEmpty()) status = blocked + QStringLiteral(" : aucune copie ne peut être écrite.");
    m_status->setText(status);
    m_write->setEnabled(blocked.isEmpty() && placed > 0);
    m_writeSelection->setEnabled(blocked.isEmpty() && placed > 0 &&
                                 !m_table->selectionModel()->selectedRows().isEmpty());
    if (m_map && m_mapLoaded) m_map->page()->runJavaScript(trackMarkersScript(placedMarkers()));
}

void TrackDialog::showMap() {
    if (!m_map) return;
    QString error;
    m_mapLoaded = false;
    const QByteArray page = BuildTrackMapPage(m_fixes, placedMarkers(), loadMapSettings());
    if (!m_pageFolder.writePage(m_services.tempDir, page, &error))
        m_services.boxes.warning(kCannotCreateMapPage + u'\n' + error);
    // Shown from memory, whatever the file holds now.
    m_map->showPage(m_pageFolder.pagePath(m_services.tempDir), page);
}

bool TrackDialog::readTracks(const QStringList& files) {
    m_services.progress.start(kReadingTracks, 1000);
    TrackReading track = loadTracksWithProgress(files, [this](qint64 done, qint64 total) {
        return m_services.progress.advance(total > 0 ? int(std::min<qint64>(1000, done * 1000 / total)) : 0);
    });
    m_services.progress.finish();
    if (track.cancelled) return false;
    QStringList messages = track.warnings;
    if (!track.ok()) messages << track.error;
    if (!messages.isEmpty()) m_services.boxes.warning(messages.join(u'\n'));
    if (!track.ok()) return false;
    m_trackFiles = files;
    session().files = files;
    m_fixes = std::move(track.fixes);
    QStringList names;
    for (const QString& file : m_trackFiles)
        names << fileNameOf(file);
    m_tracksLabel->setText(
        QStringLiteral("%1 (%2 points)").arg(names.join(QStringLiteral(", "))).arg(m_fixes.size()));
    refreshPlacements();
    m_table->resizeColumnsToContents();
    return true;
}

void TrackDialog::addTracks() {
    const auto chosen = m_services.dialogs.openTracks();
    if (!chosen) return;
    if (readTracks(m_trackFiles + *chosen)) showMap();
}

void TrackDialog::computeClockError() {
    const int index = m_clockPhoto->currentIndex();
    if (index < 0 || index >= m_photos.size()) return;
    CorrelationSettings s = settings();
    // The photo's own zone from the track, as the table shows it.
    const Placement& placement = m_photos[index].placement;
    if (s.zoneAt && placement.zoneSource != ZoneSource::None) s.zone = placement.zone;
    const auto error =
        clockErrorFromClockPhoto(m_photos[index].time, s, m_clockShown->time(), m_clockInUtc->isChecked());
    if (!error) {
        m_services.boxes.warning(fileNameOf(m_photos[index].path) + QStringLiteral(" : ") +
                                 placementReason(PlacementStatus::NoTime));
        return;
    }
    m_clockError->setText(formatClockError(*error));
}

void TrackDialog::writeCopies() {
    writeRows({});
}

void TrackDialog::writeSelectedCopies() {
    QVector<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        rows << index.row();
    if (rows.isEmpty()) {
        m_services.boxes.beep();
        return;
    }
    std::sort(rows.begin(), rows.end());
    writeRows(rows);
}

void TrackDialog::writeRows(const QVector<int>& rows) {
    refreshPlacements();
    if (const QString blocked = blockedReason(); !blocked.isEmpty()) {
        m_services.boxes.warning(blocked);
        return;
    }
    const auto placed = std::count_if(m_photos.begin(), m_photos.end(), [](const PhotoOnTrack& p) {
        return p.placement.status == PlacementStatus::Placed;
    });
    if (!placed) {
        m_services.boxes.information(kNothingToWrite);
        return;
    }
    TrackCopyChoice choice;
    choice.rows = rows;
    // As for the list's photos: one question for every existing copy.
    if (const QStringList existing = existingTrackCopies(m_photos, rows); !existing.isEmpty()) {
        const MessageBoxes::Answer answer =
            m_services.boxes.warningYesNoCancel(severalOverwriteQuestion(existing));
        if (answer == MessageBoxes::Answer::Cancel) {
            m_services.boxes.beep();
            return;
        }
        choice.replaceExisting = answer == MessageBoxes::Answer::Yes;
    }
    m_services.progress.start(kWriting, int(m_photos.size()));
    const TrackCopyRun run = writeTrackCopies(
        m_photos, [this](int done) { return m_services.progress.advance(done); }, kTrackCopyThreads, choice);
    m_services.progress.finish();
    if (!run.written.isEmpty()) emit copiesWritten(run.written);
    m_services.boxes.information(trackCopySummary(run));
}

} // namespace vantorel
