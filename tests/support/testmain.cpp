// Test entry: a QApplication when the program drives windows, a core application otherwise,
// and a French locale so numbers use "," as the program's users see them.
#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>

#include <cstring>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const bool gui = std::strstr(argv[0], "test_gui_") != nullptr;
    if (gui) {
        QApplication app(argc, argv);
        return RUN_ALL_TESTS();
    }
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
