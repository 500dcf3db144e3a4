// What the main window shows and what the user has set in it, as plain values: the commands read
// and write these, and the window mirrors them on its widgets.
#pragma once

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
    QString caption = kMainCaption;
    QRect geometry{62, 39, 995, 706};

    QStringList ListBox1; // kept sorted without regard to case
    int ListBox1Index = -1;

    bool CheckBox1 = true;                  // "Ajout lignes": add to the list, or replace it
    bool CheckBox2 = true;                  // automatic declination
    bool CheckBox3 = true;                  // automatic sensor size
    bool CheckBox4 = false;                 // internal browser
    bool declinationControlsEnabled = true; // CheckBox2, Label5 and Edit1
    bool manualDeclinationVisible = false;  // Label5 and Edit1
    bool manualSensorVisible = false;       // Label10 and ComboBox1

    QString Label1, Label2, Label3, Label4;
    QString Label7 = QStringLiteral("Label7");
    bool Label7Visible = false;
    QString Label8 = QStringLiteral("0");
    bool Label11Visible = false;

    QString Edit1 = QStringLiteral("-1,0");
    QString Edit2 = QStringLiteral("0");
    QString Edit7, Edit8;
    QString ComboBox1;
    bool BitBtn23Enabled = true;

    StringGrid SG0{10, 2};
    StringGrid SG1{6, 2};
    StringGrid SG2{3, 2};

    QImage Image1;
};

} // namespace vantorel
