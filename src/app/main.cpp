// Program entry: French dialogs, the main window, photos given on the command line.
#include "controller/commandline.h"
#include "mainwindow.h"
#include "terminationsignals.h"
#include "text/manualpage.h"
#include "text/programinfo.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
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
    "\n"
    "Codes de sortie :\n"
    "  0                 La fenêtre a été fermée.\n"
    "  autre             Le programme n'a pas pu démarrer (pas d'écran, par exemple).\n"
    "\n"
    "Exemples :\n"
    "  vantorel -- ~/Photos/*.jpg\n"
    "                    Ouvre la fenêtre avec les photos d'un dossier.\n"
    "  vantorel geo:48.8584,2.2945\n"
    "                    Ouvre la fenêtre sur la carte, à la tour Eiffel.\n";

const char* const kSummary = "lit, affiche et réécrit le géocodage GPS des photos JPEG";

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
    else if (std::strcmp(argv[1], "--manual-page") == 0) // the build writes the manual with it
        text = vantorel::helpToManualPage({QStringLiteral("vantorel"), QString::fromUtf8(kSummary),
                                           QStringLiteral("Vantorel ") + vantorel::programVersion(),
                                           QStringLiteral("vantorel-cli(1)")},
                                          QString::fromUtf8(kHelp));
    else
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
    // The web view's sandbox refuses to start for root; the program then runs it without one
    // rather than abort (a user account keeps the sandbox).
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
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
        window.startUp({QStringLiteral(VANTOREL_DATADIR), QStringLiteral(VANTOREL_SOURCE_DATADIR)});
        window.reportRefusedLinks(refusedLinks);
        window.openPaths(photos);
        if (mapPosition) window.showMapAt(mapPosition->latitude, mapPosition->longitude);
    });
    return app.exec();
}
