// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the window finds a display before Qt starts (Qt aborts without one).
#include "controller/displaycheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantorel;

namespace {

TEST(DisplayCheck, ByPlatformAndSockets) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString x11 = dir.filePath(QStringLiteral("x11"));
    const QString runtime = dir.filePath(QStringLiteral("run"));
    ASSERT_TRUE(QDir().mkpath(x11) && QDir().mkpath(runtime));
    for (const QString& socket : {x11 + QStringLiteral("/X3"), runtime + QStringLiteral("/wayland-1")}) {
        QFile f(socket);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    struct Case {
        const char* name;
        QByteArrayList args;
        QStringList env; // NAME=value
        bool reachable;
    } cases[] = {
        {"nothing set", {"vantorel"}, {}, false},
        {"X server there", {"vantorel"}, {"DISPLAY=:3"}, true},
        {"X screen given", {"vantorel"}, {"DISPLAY=:3.0"}, true},
        {"X server gone", {"vantorel"}, {"DISPLAY=:7"}, false},
        {"empty DISPLAY", {"vantorel"}, {"DISPLAY="}, false},
        {"remote X left to Qt", {"vantorel"}, {"DISPLAY=otherhost:10.0"}, true},
        {"-display overrides", {"vantorel", "-display", ":7"}, {"DISPLAY=:3"}, false},
        {"--display= overrides", {"vantorel", "--display=:3"}, {"DISPLAY=:7"}, true},
        {"Wayland there", {"vantorel"}, {"WAYLAND_DISPLAY=wayland-1", "XDG_RUNTIME_DIR=" + runtime}, true},
        {"Wayland gone", {"vantorel"}, {"WAYLAND_DISPLAY=wayland-9", "XDG_RUNTIME_DIR=" + runtime}, false},
        {"Wayland by path", {"vantorel"}, {"WAYLAND_DISPLAY=" + runtime + "/wayland-1"}, true},
        {"Wayland without runtime folder", {"vantorel"}, {"WAYLAND_DISPLAY=wayland-1"}, false},
        {"xcb asked, only Wayland",
         {"vantorel"},
         {"QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY=wayland-1", "XDG_RUNTIME_DIR=" + runtime},
         false},
        {"wayland asked, only X", {"vantorel"}, {"QT_QPA_PLATFORM=wayland", "DISPLAY=:3"}, false},
        {"list with a reachable one", {"vantorel"}, {"QT_QPA_PLATFORM=wayland;xcb", "DISPLAY=:3"}, true},
        {"platform options dropped", {"vantorel"}, {"QT_QPA_PLATFORM=xcb:nograb", "DISPLAY=:3"}, true},
        {"offscreen needs none", {"vantorel"}, {"QT_QPA_PLATFORM=offscreen"}, true},
        {"-platform overrides", {"vantorel", "-platform", "offscreen"}, {"QT_QPA_PLATFORM=xcb"}, true},
        {"-platform xcb without X", {"vantorel", "-platform", "xcb"}, {"QT_QPA_PLATFORM=offscreen"}, false},
        {"-platform without value", {"vantorel", "-platform"}, {}, false},
    };
    for (const Case& c : cases) {
        QProcessEnvironment env;
        for (const QString& pair : c.env)
            env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        EXPECT_EQ(displayReachable(c.args, env, x11), c.reachable) << c.name;
    }
}

} // namespace
