// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: French dialogs, the main window, photos given on the command line.
#include "controller/commandline.h"
#include "controller/displaycheck.h"
#include "mainwindow.h"
#include "terminationsignals.h"
#include "text/manualpage.h"
#include "text/programinfo.h"
#include "webdiagnostics.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

const char* const kHelp =
    "Usage : vantorel [OPTIONS DE QT] [--] [PHOTO... | geo:LATITUDE,LONGITUDE]\n"
    "\n"
    "Lit, affiche et réécrit le géocodage GPS des photos JPEG, dans une fenêtre. Les photos données\n"
    "sont ajoutées à la liste comme si elles y étaient déposées. Une photo n'est jamais modifiée : les\n"
    "photos géocodées sont des copies écrites à côté d'elle.\n"
    "\n"
    "Options :\n"
    "  --                Tous les arguments qui suivent sont des photos, même ceux qui commencent par\n"
    "                    un tiret.\n"
    "  --help            Affiche cette aide.\n"
    "  --version         Affiche la version du programme.\n"
    "  geo:LATITUDE,LONGITUDE\n"
    "                    Ouvre la fenêtre sur la carte à cette position (lien « geo: » d'une page ou\n"
    "                    d'une application), qui devient la nouvelle latitude et longitude.\n"
    "  -platform, -style, -display...\n"
    "                    Les options de Qt, avant « -- ».\n"
    "\n"
    "Fichiers :\n"
    "  ~/.config/vantorel/vantorel.ini\n"
    "                    Réglages des cartes, groupe [maps] : googleMapsKey (clé Google Maps),\n"
    "                    tileUrl et tileAttribution (serveur de tuiles), tileCacheSize (taille du\n"
    "                    cache des tuiles en Mo, 200 par défaut).\n"
    "  $XDG_CACHE_HOME/vantorel\n"
    "                    Cache des tuiles des cartes (~/.cache/vantorel par défaut).\n"
    "\n"
    "Environnement :\n"
    "  VANTOREL_GOOGLE_MAPS_KEY\n"
    "                    Clé Google Maps, à la place de celle du fichier de réglages.\n"
    "  TEMP              Dossier de la page de carte (sinon $XDG_RUNTIME_DIR ou le dossier temporaire).\n"
    "  QT_LOGGING_RULES  vantorel.web.debug=true : affiche les diagnostics du moteur web.\n"
    "\n"
    "Codes de sortie :\n"
    "  0                 La fenêtre a été fermée.\n"
    "  1                 Aucun écran (DISPLAY, WAYLAND_DISPLAY) : la fenêtre n'a pas pu s'ouvrir.\n"
    "  autre             Le programme n'a pas pu démarrer.\n"
    "\n"
    "Exemples :\n"
    "  vantorel -- ~/Photos/*.jpg\n"
    "                    Ouvre la fenêtre avec les photos d'un dossier.\n"
    "  vantorel geo:48.8584,2.2945\n"
    "                    Ouvre la fenêtre sur la carte, à la tour Eiffel.\n";

// The same help in English, for the English manual page: the same items in the same order.
const char* const kHelpEnglish =
    "Usage: vantorel [QT OPTIONS] [--] [PHOTO... | geo:LATITUDE,LONGITUDE]\n"
    "\n"
    "Reads, shows and rewrites the GPS geotag of JPEG photos, in a window (in French). The given photos\n"
    "are added to the list as if they were dropped on it. A photo is never modified: the geotagged\n"
    "photos are copies written beside it.\n"
    "\n"
    "Options:\n"
    "  --                All the arguments that follow are photos, even those that start with a\n"
    "                    dash.\n"
    "  --help            Prints this help (in French).\n"
    "  --version         Prints the program's version.\n"
    "  geo:LATITUDE,LONGITUDE\n"
    "                    Opens the window on the map at this position (a « geo: » link of a page or\n"
    "                    of an application), which becomes the new latitude and longitude.\n"
    "  -platform, -style, -display...\n"
    "                    Qt's options, before « -- ».\n"
    "\n"
    "Files:\n"
    "  ~/.config/vantorel/vantorel.ini\n"
    "                    Map settings, group [maps]: googleMapsKey (Google Maps key), tileUrl and\n"
    "                    tileAttribution (tile server), tileCacheSize (size of the tile cache in\n"
    "                    MB, 200 by default).\n"
    "  $XDG_CACHE_HOME/vantorel\n"
    "                    Cache of the maps' tiles (~/.cache/vantorel by default).\n"
    "\n"
    "Environment:\n"
    "  VANTOREL_GOOGLE_MAPS_KEY\n"
    "                    Google Maps key, instead of the one of the settings file.\n"
    "  TEMP              Folder of the map page (else $XDG_RUNTIME_DIR or the temporary folder).\n"
    "  QT_LOGGING_RULES  vantorel.web.debug=true: shows the web engine's diagnostics.\n"
    "\n"
    "Exit codes:\n"
    "  0                 The window was closed.\n"
    "  1                 No display (DISPLAY, WAYLAND_DISPLAY): the window could not open.\n"
    "  other             The program could not start.\n"
    "\n"
    "Examples:\n"
    "  vantorel -- ~/Photos/*.jpg\n"
    "                    Opens the window with the photos of a folder.\n"
    "  vantorel geo:48.8584,2.2945\n"
    "                    Opens the window on the map, at the Eiffel Tower.\n";

const char* const kSummary = "lit, affiche et réécrit le géocodage GPS des photos JPEG";
const char* const kSummaryEnglish = "read, show and rewrite the GPS geotag of JPEG photos";

// --help, --version and the manual page are answered before any window or display is needed.
bool answeredWithoutWindow(int argc, char** argv) {
    if (argc < 2) return false;
    QString text;
    if (std::strcmp(argv[1], "--help") == 0)
        text = QString::fromUtf8(kHelp);
    else if (std::strcmp(argv[1], "--version") == 0)
        text =
            vantorel::versionLine(QStringLiteral("vantorel"), QString::fromLatin1(vantorel::buildCommit())) +
            QLatin1Char('\n');
    else if (const std::optional<bool> english =
                 vantorel::manualPageInEnglish(argc, argv)) // the build's manuals
        text = vantorel::helpToManualPage(
            {QStringLiteral("vantorel"), QString::fromUtf8(*english ? kSummaryEnglish : kSummary),
             QStringLiteral("Vantorel ") + vantorel::programVersion(), QStringLiteral("vantorel-cli(1)"),
             vantorel::manualDate(), *english},
            QString::fromUtf8(*english ? kHelpEnglish : kHelp));
    else if (std::strcmp(argv[1], "--manual-page") == 0) {
        // A language it has not: an error, and no window either.
        std::fputs("vantorel : --manual-page fr ou en\n", stderr);
        std::exit(2);
    } else
        return false;
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (answeredWithoutWindow(argc, argv)) return 0;
    // Photos are taken out before Qt parses the rest: a photo named "-reverse" stays a photo.
    vantorel::WindowCommandLine commandLine = vantorel::splitWindowCommandLine(argc, argv);
    std::vector<char*> qtArgv;
    for (QByteArray& arg : commandLine.qtArguments)
        qtArgv.push_back(arg.data());
    qtArgv.push_back(nullptr);
    int qtArgc = int(qtArgv.size()) - 1;
    // Without a display Qt would abort: the window says so and ends.
    if (!vantorel::displayReachable(commandLine.qtArguments, QProcessEnvironment::systemEnvironment())) {
        std::fputs(vantorel::kNoDisplayMessage, stderr);
        return 1;
    }
    // The web view's sandbox refuses to start for root; the program then runs it without one
    // rather than abort (a user account keeps the sandbox).
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    vantorel::routeWebEngineDiagnostics();
    // Qt WebEngine shares its OpenGL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(qtArgc, qtArgv.data());
    // Ended by a signal, the program still closes as from its window: its temporary folders go.
    vantorel::quitOnTerminationSignals();
    QApplication::setApplicationName(vantorel::kProgramTitle);
    QApplication::setApplicationVersion(vantorel::programVersion());
    // The desktop entry's name: the desktop groups the window under the entry's icon.
    QGuiApplication::setDesktopFileName(vantorel::applicationId());

    QTranslator qtFrench;
    if (qtFrench.load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtFrench);

    QStringList photos;
    for (const QString& arg : commandLine.photos)
        photos << QFileInfo(arg).absoluteFilePath();

    vantorel::WindowServices services;
    services.webEngine = true;
    vantorel::MainWindow window(services);
    // Start-up questions and the photos wait until the window is on screen: resized before the
    // window manager has placed it, its title bar could end above the screen.
    const std::optional<vantorel::GeoPosition> mapPosition = commandLine.mapPosition;
    const QStringList refusedLinks = commandLine.refusedLinks;
    window.showThen([&window, photos, mapPosition, refusedLinks] {
        window.startUp(
            {QStringLiteral(VANTOREL_DATADIR), QApplication::applicationDirPath() + QStringLiteral("/data")});
        window.reportRefusedLinks(refusedLinks);
        window.openPaths(photos);
        if (mapPosition) window.showMapAt(mapPosition->latitude, mapPosition->longitude);
    });
    return app.exec();
}
