// Test entry: a QApplication when the program drives windows (VANTOREL_TEST_GUI, set by the build),
// a core application otherwise,
// and a French locale so numbers use "," as the program's users see them.
#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    if constexpr (VANTOREL_TEST_GUI) {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); // for the web engine's views
        QApplication app(argc, argv);
        return RUN_ALL_TESTS();
    }
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
