// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM, SIGINT and SIGHUP end the program as closing its window does: the event loop quits, the
// windows and the maps' profile go, and with them the run's temporary folders.
#pragma once

namespace vantorel {

// Installs the handlers; the application must exist.
void quitOnTerminationSignals();

} // namespace vantorel
