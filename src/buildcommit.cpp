// SPDX-License-Identifier: GPL-3.0-or-later
// The commit the programs were built from, linked into each program (see src/core/CMakeLists.txt).
#include "vantorel_commit.h"

namespace vantorel {

const char* buildCommit() {
    return VANTOREL_COMMIT;
}

} // namespace vantorel
