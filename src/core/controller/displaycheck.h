// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the window can reach a display, decided before Qt starts: without one, Qt's X11 and
// Wayland platforms abort the program, where the window should say so and end with code 1.
#pragma once

#include <QByteArrayList>
#include <QProcessEnvironment>
#include <QString>

namespace vantorel {

// The window's start-up message when no display can be reached.
extern const char* const kNoDisplayMessage;

// False only when Qt would look for an X11 or Wayland display (the default platform, or "xcb" or
// "wayland" by -platform or QT_QPA_PLATFORM) and none of those it may use exists: DISPLAY (or
// -display) names no X server socket in x11SocketDir, and WAYLAND_DISPLAY names no socket.
// A remote X display ("host:0") and the other platforms (offscreen, vnc...) are left to Qt.
bool displayReachable(const QByteArrayList& qtArguments, const QProcessEnvironment& env,
                      const QString& x11SocketDir = QStringLiteral("/tmp/.X11-unix"));

} // namespace vantorel
