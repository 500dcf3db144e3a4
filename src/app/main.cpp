// Program entry: French dialogs, the main window, photos given on the command line.
#include "controller/commandline.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
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
    QApplication::setApplicationName(vantorel::kProgramTitle);

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
    window.showThen([&window, photos] {
        window.startUp(QDir::currentPath(),
                       {QStringLiteral(VANTOREL_DATADIR), QStringLiteral(VANTOREL_SOURCE_DATADIR)});
        window.openPaths(photos);
    });
    return app.exec();
}
