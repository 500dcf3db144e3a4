// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM, SIGINT and SIGHUP end the program as closing its window does: the run's temporary folder
// goes with it. The program is this test run again as a child that writes a map page and waits.
#include "maps/mappagefile.h"
#include "terminationsignals.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

using namespace vantorel;

namespace {

TEST(TerminationRun, WritesAPageAndWaits) {
    const QString temp = qEnvironmentVariable("VANTOREL_TEST_TERMINATION_TEMP");
    if (temp.isEmpty()) GTEST_SKIP() << "run by Termination.SignalsRemoveTheTemporaryFolder";
    quitOnTerminationSignals();
    MapPageFolder folder;
    ASSERT_TRUE(folder.writePage(temp, "<p>map</p>"));
    std::printf("%s\n", qUtf8Printable(folder.folder()));
    std::fflush(stdout);
    QCoreApplication::exec();
}

TEST(Termination, SignalsRemoveTheTemporaryFolder) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        QTemporaryDir temp;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VANTOREL_TEST_TERMINATION_TEMP", temp.path());
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=TerminationRun.*"});
        ASSERT_TRUE(child.waitForStarted(10000));
        QByteArray output;
        const QByteArray parent = temp.path().toUtf8() + '/';
        while (!(output.contains(parent) && output.endsWith('\n')) && child.waitForReadyRead(10000))
            output += child.readAllStandardOutput();
        QString folder;
        for (const QByteArray& line : output.split('\n'))
            if (line.startsWith(parent)) folder = QString::fromUtf8(line);
        ASSERT_TRUE(QFileInfo(folder).isDir()) << output.constData();
        ::kill(pid_t(child.processId()), signal);
        ASSERT_TRUE(child.waitForFinished(10000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_FALSE(QFileInfo::exists(folder));
    }
}

} // namespace
