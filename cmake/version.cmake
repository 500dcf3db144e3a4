# Writes OUT with the project's version and, when the sources are a git checkout, the commit they
# were built from. Run at every build; the file is rewritten only when its text changes, so a build
# without a new commit recompiles nothing.
execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed)
  set(commit "")
endif()
set(text "// Made by cmake/version.cmake at build time.\n#pragma once\n#define VANTOREL_VERSION \"${VERSION}\"\n#define VANTOREL_COMMIT \"${commit}\"\n#define VANTOREL_APP_ID \"${APP_ID}\"\n#define VANTOREL_HOMEPAGE \"${HOMEPAGE}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUT}" "${text}")
endif()
