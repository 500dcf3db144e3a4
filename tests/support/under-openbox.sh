#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program on a virtual X display managed by openbox, with Qt's X11 platform: the window
# manager is what moves, stacks and grabs, so faults that only show under one are caught here.
#   under-openbox.sh PROGRAM [ARGUMENT...]
set -eu
exec xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    # Until openbox has announced itself on the root window.
    i=0
    while [ $i -lt 100 ] && ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
        sleep 0.05
        i=$((i + 1))
    done
    status=0
    QT_QPA_PLATFORM=xcb "$@" || status=$?
    kill $wm 2>/dev/null || true
    exit $status
' under-openbox "$@"
