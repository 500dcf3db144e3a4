// SPDX-License-Identifier: GPL-3.0-or-later
// The web engine's own diagnostics (its OpenGL context at start-up, the sandbox turned off for root,
// the pages' console) go to the log category "vantorel.web", off by default, instead of standard
// error: QT_LOGGING_RULES="vantorel.web.debug=true" shows them. Real errors stay on standard error.
#pragma once

namespace vantorel {

void routeWebEngineDiagnostics();

} // namespace vantorel
