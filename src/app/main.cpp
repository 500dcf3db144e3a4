// Program entry: French dialogs, the main window, photos given on the command line.
#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(vantorel::kProgramTitle);

    QTranslator qtFrench;
    if (qtFrench.load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtFrench);

    QStringList photos;
    for (const QString& arg : app.arguments().mid(1))
        photos << QFileInfo(arg).absoluteFilePath();

    vantorel::MainWindow window;
    // Start-up questions and the photos wait until the window is on screen: resized before the
    // window manager has placed it, its title bar could end above the screen.
    window.showThen([&window, photos] {
        window.startUp(QDir::currentPath(),
                       {QStringLiteral(VANTOREL_DATADIR), QStringLiteral(VANTOREL_SOURCE_DATADIR)});
        window.openPaths(photos);
    });
    return app.exec();
}
