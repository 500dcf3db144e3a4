// SPDX-License-Identifier: GPL-3.0-or-later
// Texts from files (names, paths, EXIF strings) escaped for where they go: an HTML page, a
// JavaScript string inside a page's script block, an XML file, one line of a terminal or a
// tab-separated table. Every writer of pages, GPX files and command-line output uses these.
#pragma once

#include <QString>

namespace vantorel {

// For HTML text and attribute values: & < > " ' as character references.
QString htmlEscape(const QString& text);

// A JavaScript string literal, quotes included, safe inside an HTML <script> block: quotes,
// backslashes, < > & (so no "</script>" or "<!--" can appear), control characters and the line
// separators U+2028/U+2029 are written as \uXXXX escapes; lone surrogates become U+FFFD.
QString jsStringLiteral(const QString& text);

// For XML 1.0 text and attribute values: & < > " ' as entities; characters XML 1.0 forbids
// (controls other than TAB, LF, CR; U+FFFE, U+FFFF; lone surrogates) are dropped.
QString xmlEscape(const QString& text);

// Keeps a text on one line of a terminal or a tab-separated table: backslash, TAB and line breaks
// as \\ \t \n, other control characters (ESC, BEL, DEL, C1...), U+2028/U+2029 and the direction
// controls (U+202A-U+202E, U+2066-U+2069) as \xHH or \uHHHH;
// a byte of a file name that is not UTF-8 (see files/pathnames.h) as \xHH.
QString escapeCell(const QString& text);

} // namespace vantorel
