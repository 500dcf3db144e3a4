// SPDX-License-Identifier: GPL-3.0-or-later
// Test entry: a QApplication when the program drives windows (VANTOREL_TEST_GUI, set by the build),
// a core application otherwise,
// and a French locale so numbers use "," as the program's users see them.
#include <QApplication>
#include <QLocale>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Qt Test's checks (QTRY_VERIFY, QCOMPARE...) report to Qt Test, not to GoogleTest: a failed one
// ends the test's body early, and GoogleTest would count the test as passed. Qt Test's failed state
// is kept once set, so the test after which it is first seen is the one that failed; the program
// then names it and exits with a failure.
class QtTestChecks : public ::testing::EmptyTestEventListener {
public:
    void OnTestEnd(const ::testing::TestInfo& test) override {
        if (failed || !QTest::currentTestFailed()) return;
        failed = true;
        std::fprintf(stderr, "[  FAILED  ] %s.%s: a Qt Test check failed (see its message above)\n",
                     test.test_suite_name(), test.name());
    }
    bool failed = false;
};

int runAll() {
    auto* checks = new QtTestChecks; // owned by GoogleTest's listeners
    ::testing::UnitTest::GetInstance()->listeners().Append(checks);
    const int result = RUN_ALL_TESTS();
    return checks->failed ? 1 : result;
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    if constexpr (VANTOREL_TEST_GUI) {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); // for the web engine's views
        QApplication app(argc, argv);
        return runAll();
    }
    QCoreApplication app(argc, argv);
    return runAll();
}
