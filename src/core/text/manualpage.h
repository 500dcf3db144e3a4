// SPDX-License-Identifier: GPL-3.0-or-later
// A program's --help text written as its manual page (roff with the man macros), so the manual
// says exactly what --help says. The help text's layout carries the structure:
//   "Usage : ..." lines at the top            -> SYNOPSIS
//   paragraphs before the first heading       -> DESCRIPTION
//   "Heading :" ("Heading:" in English) alone at the start of a line -> a section named HEADING
//   "  term   text" (two spaces, then two or more between term and text, or the term alone on
//   its line), continued by lines indented by four spaces or more -> a tagged paragraph
//   other lines at the start of a line        -> running text; a blank line ends a paragraph.
#pragma once

#include <QString>

#include <optional>

namespace vantorel {

struct ManualHeader {
    QString name;         // "vantorel-cli"
    QString summary;      // the NAME section's line after the dash
    QString source;       // "Vantorel 1.13"
    QString seeAlso;      // "vantorel(1)", empty for none
    QString date;         // the page's date, "2026-12-10" (manualDate())
    bool english = false; // the fixed section names and the page's footer in English, else French
};

// The day a manual page is written, "yyyy-MM-dd" in UTC: the day of SOURCE_DATE_EPOCH when it is
// set (a reproducible build gives every build of one source the same page), else today.
QString manualDate();

// "--manual-page" or "--manual-page en": the page in French or in English, or nullopt when the
// words asked for no page (a language other than these two). The program writes the page with it.
std::optional<bool> manualPageInEnglish(int argc, char** argv);

QString helpToManualPage(const ManualHeader& header, const QString& help);

// A text made safe for one roff line: backslashes, a leading dot or quote escaped; an option
// (a word that starts with a dash) has all its dashes as \- and is never hyphenated.
QString roffEscape(const QString& text);

} // namespace vantorel
