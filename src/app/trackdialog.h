// SPDX-License-Identifier: GPL-3.0-or-later
// « Trace GPS… »: the list's photos placed on GPS tracks by time, previewed in a table and on a
// map while the user corrects zone and clock, then written as "#" copies.
#pragma once

#include "controller/platform.h"
#include "maps/mappagefile.h"
#include "maps/trackmappage.h"
#include "tracks/trackcopies.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimeEdit;

namespace vantorel {

class WebMapView;

struct TrackDialogServices {
    FileDialogs& dialogs;
    MessageBoxes& boxes;
    Progress& progress;
    QString tempDir;        // where the map page goes
    bool webEngine = false; // without it, no map
    // The zone of a place, for « d'après la trace »; without it the zone is always chosen.
    ZoneAtPosition zoneAt = {};
};

class TrackDialog : public QDialog {
    Q_OBJECT
public:
    TrackDialog(const QStringList& photos, TrackDialogServices services, QWidget* parent = nullptr);
    ~TrackDialog() override;

    // The commands behind the buttons, for the window's tests.
    void addTracks();
    void computeClockError();
    // Writes the copies of every photo, or of the selected rows only.
    void writeCopies();
    void writeSelectedCopies();

    const QVector<PhotoOnTrack>& photos() const { return m_photos; }
    WebMapView* mapView() const { return m_map; }
    QLineEdit* clockErrorField() const { return m_clockError; }
    QComboBox* zoneField() const { return m_zone; }
    QLabel* statusLine() const { return m_status; }
    QTableWidget* table() const { return m_table; }

signals:
    // The copies written, for the list.
    void copiesWritten(const QStringList& copies);

private:
    void buildWidgets();
    void wire();
    // Places every photo again with the settings shown, and refreshes the table and the markers.
    void refreshPlacements();
    CorrelationSettings settings() const;
    // The zone field says « d'après la trace » and the dialog has a lookup for it.
    bool zoneFromTrack() const;
    // Why nothing can be placed with the fields as they are (an unreadable clock error, an unknown
    // zone); empty when they are sound.
    QString blockedReason() const;
    // Reads `files` off the window's thread, with a progress; false when nothing was read.
    bool readTracks(const QStringList& files);
    void writeRows(const QVector<int>& rows);
    QVector<TrackMapPhoto> placedMarkers() const;
    void showMap();

    TrackDialogServices m_services;
    QStringList m_trackFiles;
    std::vector<TrackFix> m_fixes;
    QVector<PhotoOnTrack> m_photos;
    bool m_mapLoaded = false;
    MapPageFolder m_pageFolder; // the map page's own folder, removed with the dialog

    QPushButton* m_addTracks = nullptr;
    QLabel* m_tracksLabel = nullptr;
    QComboBox* m_zone = nullptr;
    QLineEdit* m_clockError = nullptr;
    QSpinBox* m_maxGap = nullptr;
    QSpinBox* m_maxDistance = nullptr;
    QCheckBox* m_replace = nullptr;
    QComboBox* m_clockPhoto = nullptr;
    QTimeEdit* m_clockShown = nullptr;
    QCheckBox* m_clockInUtc = nullptr;
    QPushButton* m_computeError = nullptr;
    QTableWidget* m_table = nullptr;
    WebMapView* m_map = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_write = nullptr;
    QPushButton* m_writeSelection = nullptr;
    QPushButton* m_close = nullptr;
};

} // namespace vantorel
