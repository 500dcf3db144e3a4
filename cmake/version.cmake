# SPDX-License-Identifier: GPL-3.0-or-later
# Writes OUT with the commit the sources were built from, when they are a git checkout (else an
# empty text). Run at every build; the file is rewritten only when its text changes, so a build
# without a new commit recompiles nothing, and a new commit relinks only the two programs.
execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed)
  set(commit "")
endif()
set(text "// Made by cmake/version.cmake at build time.\n#pragma once\n#define VANTOREL_COMMIT \"${commit}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUT}" "${text}")
endif()
