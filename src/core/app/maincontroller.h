// The main window's commands: the photo list, the selection pipeline and the list-wide commands.
// They work on MainControls and SharedState; the window only mirrors them on widgets.
#pragma once

#include "maincontrols.h"
#include "metadata/poitable.h"
#include "platform.h"
#include "sharedstate.h"

namespace vantorel {

class MainController {
public:
    explicit MainController(Platform platform);

    MainControls& controls() { return m_controls; }
    const MainControls& controls() const { return m_controls; }
    SharedState& state() { return m_state; }
    const SharedState& state() const { return m_state; }

    // Start-up and end. The program's pictures are looked for in `workingDir`, then in `dataDirs`.
    void FormCreate();
    void FormShow(const QString& workingDir, const QStringList& dataDirs);
    void FormClose();

    // Filling and emptying the list.
    void HandleDroppedFiles(const QStringList& paths);
    void BitBtn20Click(); // "Charger"
    void BitBtn16Click(); // "Clipboard"
    void BitBtn12Click(); // "Effacer Poi"
    void BitBtn15Click(); // "Géocodé"
    void BitBtn9Click();  // "Masquer"

    // The copies of the photo named in the caption, beside it.
    void BitBtn5Click();  // "Ecrit nouveau fichier géocodé": "#" + name with Edit7/Edit8's position
    void BitBtn23Click(); // "Efface le geocodage du fichier": "~" + name without position

    // The selection pipeline on the selected entry, and its steps.
    void ListBox1Click();
    void RefreshAfterListChange();
    void BitBtn1Click(); // GPS coordinates
    void BitBtn4Click(); // EXIF listing
    void BitBtn7Click(); // preview
    void BitBtn6Click(); // map page

    // Path of the map page that the map commands write into the temporary directory.
    QString mapPagePath() const;

    // Adds an entry at its sorted place (case-insensitive; after entries that compare equal).
    void addToList(const QString& path);

private:
    void runPipeline();
    void writeCopy(bool withPosition);
    PoiRun poiRun() { return {m_state.LatitudeRef, m_state.LongitudeRef, m_state.PoiRowCount}; }
    void clearList();
    void showEntryCount();
    void expand();
    void emptyResults();

    Platform m_platform;
    MainControls m_controls;
    SharedState m_state;
};

// The program's pictures, looked for in the working directory first, then in the data folders
// (so a program started from a desktop menu finds them); the working directory's path when absent.
QString locateDataFile(const QString& name, const QString& workingDir, const QStringList& dataDirs);

} // namespace vantorel
