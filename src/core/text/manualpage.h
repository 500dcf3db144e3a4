// A program's --help text written as its manual page (roff with the man macros), so the manual
// says exactly what --help says. The help text's layout carries the structure:
//   "Usage : ..." lines at the top            -> SYNOPSIS
//   paragraphs before the first heading       -> DESCRIPTION
//   "Heading :" alone at the start of a line  -> a section named HEADING
//   "  term   text" (two spaces, then two or more between term and text, or the term alone on
//   its line), continued by lines indented by four spaces or more -> a tagged paragraph
//   other lines at the start of a line        -> running text; a blank line ends a paragraph.
#pragma once

#include <QString>

namespace vantorel {

struct ManualHeader {
    QString name;    // "vantorel-cli"
    QString summary; // the NAME section's line after the dash
    QString source;  // "Vantorel 1.13"
    QString seeAlso; // "vantorel(1)", empty for none
};

QString helpToManualPage(const ManualHeader& header, const QString& help);

// A text made safe for one roff line: backslashes, a leading dot or quote, and dashes that
// start a word (options) escaped.
QString roffEscape(const QString& text);

} // namespace vantorel
