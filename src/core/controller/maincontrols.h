// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window shows and what the user has set in it, as plain values: the commands read
// and write these, and the window mirrors them on its widgets.
#pragma once

#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

namespace vantorel {

inline const QString kProgramTitle = QStringLiteral("Vantorel");
inline const QString kMainCaption = QStringLiteral("Vantorel   V1.13");
inline const QString kBusyText = QStringLiteral("*********  Traitement en cours  *********");

struct MainControls {
    QString caption = kMainCaption;   // the window's title: the program, then the selected photo's path
    QRect geometry{62, 39, 995, 706}; // the window's inner rectangle (shrunk by "Masquer")

    QStringList ListBox1;   // the photo list, kept sorted without regard to case
    int ListBox1Index = -1; // the selected entry, -1 for none
    // Every entry selected with Shift, Ctrl or Ctrl+A, as the window found them when a command
    // started; ListBox1Index stays the photo shown. Fewer than two: the selected entry alone.
    QList<int> ListBox1Selection;

    bool CheckBox1 = true;                  // "Ajout lignes": add to the list, or replace it
    bool CheckBox2 = true;                  // automatic magnetic declination
    bool CheckBox3 = true;                  // automatic sensor size
    bool CheckBox4 = false;                 // maps in the embedded browser (else the user's own)
    bool declinationControlsEnabled = true; // CheckBox2, Label5 and Edit1
    bool manualDeclinationVisible = false;  // Label5 and Edit1
    bool manualSensorVisible = false;       // Label10 and ComboBox1
    bool Form3Visible = false;              // the overview map's window
    QRect Form3Geometry;                    // its place: beside the main window's corner

    QString Label1, Label2; // signed decimal latitude and longitude of the selected photo
    QString Label3, Label4; // latitude and longitude as the EXIF listing shows them, with their reference
    QString Label7 = QStringLiteral("Label7"); // the caption under the map (view sector)
    bool Label7Visible = false;
    QString Label8 = QStringLiteral("0"); // the number of list entries
    bool Label11Visible = false;          // the busy label ("Traitement en cours")

    QString Edit1 = QStringLiteral("-1,0"); // magnetic declination, degrees
    QString Edit2 = QStringLiteral("0");    // view direction correction, degrees
    QString Edit7, Edit8;                   // new latitude and longitude for the geotagged copy
    QString ComboBox1;                      // the sensor size ("1/2.4\"")
    bool BitBtn23Enabled = true;            // "Efface le geocodage du fichier" (off for a photo without GPS)
    bool eraseAllLocation = false; // the eraser's second mode: « Effacer tout ce qui situe la photo »
    bool writeSidecar = false;     // the writer's second mode: the position in an XMP sidecar, no copy
    bool writePlace = false;       // « Écrire aussi le lieu »: the "#" copies name their position's place

    StringGrid SG0{PoiColumnCount, 2};   // the POI table (gridcolumns.h: PoiColumn)
    StringGrid SG1{CoordColumnCount, 2}; // the selected photo's coordinates (CoordColumn)
    StringGrid SG2{ExifColumnCount, 2};  // the selected photo's EXIF listing (ExifColumn)

    QImage Image1; // the preview
};

} // namespace vantorel
