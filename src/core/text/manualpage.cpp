// SPDX-License-Identifier: GPL-3.0-or-later
#include "manualpage.h"

#include <QDateTime>
#include <QStringList>

#include <cstring>

namespace vantorel {
namespace {

bool isHeading(const QString& line) {
    return !line.isEmpty() && !line.at(0).isSpace() && line.endsWith(QLatin1Char(':')) &&
           !line.startsWith(QLatin1String("Usage"));
}

QString headingName(const QString& line) {
    return line.chopped(1).trimmed().toUpper();
}

int indentOf(const QString& line) {
    int n = 0;
    while (n < line.size() && line.at(n) == QLatin1Char(' '))
        ++n;
    return n;
}

// "  term   text" -> {term, text}; "  term" -> {term, ""}.
QPair<QString, QString> splitItem(const QString& line) {
    const QString body = line.mid(2);
    const int gap = body.indexOf(QLatin1String("  "));
    if (gap < 0) return {body.trimmed(), QString()};
    return {body.left(gap).trimmed(), body.mid(gap).trimmed()};
}

} // namespace

QString manualDate() {
    bool ok = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&ok);
    const QDateTime when =
        ok ? QDateTime::fromSecsSinceEpoch(epoch, Qt::UTC) : QDateTime::currentDateTimeUtc();
    return when.date().toString(Qt::ISODate);
}

std::optional<bool> manualPageInEnglish(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--manual-page") != 0) return std::nullopt;
    if (argc == 2 || std::strcmp(argv[2], "fr") == 0) return false;
    if (std::strcmp(argv[2], "en") == 0) return true;
    return std::nullopt;
}

QString roffEscape(const QString& text) {
    QString out;
    out.reserve(text.size() + 8);
    bool inOption = false; // within a word that starts with a dash
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool wordStart = i == 0 || text.at(i - 1).isSpace() || text.at(i - 1) == QLatin1Char('[') ||
                               text.at(i - 1) == QLatin1Char('(');
        if (wordStart) inOption = c == QLatin1Char('-');
        if (c.isSpace()) inOption = false;
        if (c == QLatin1Char('\\')) {
            out += QLatin1String("\\e");
        } else if (c == QLatin1Char('-') && inOption) {
            // \% keeps the option whole at the end of a line; \- is a dash, not a hyphen to break at.
            if (wordStart) out += QLatin1String("\\%");
            out += QLatin1String("\\-");
        } else {
            out += c;
        }
    }
    if (out.startsWith(QLatin1Char('.')) || out.startsWith(QLatin1Char('\'')))
        out.prepend(QLatin1String("\\&"));
    return out;
}

QString helpToManualPage(const ManualHeader& header, const QString& help) {
    QStringList lines = help.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();

    QString page;
    page += QLatin1String("'\\\" -*- coding: UTF-8 -*-\n");
    page += QLatin1String(".\\\" Made from the program's --help text at build time.\n");
    page +=
        QStringLiteral(".TH \"%1\" 1 \"%2\" \"%3\" \"%4\"\n")
            .arg(header.name.toUpper(), header.date, roffEscape(header.source),
                 header.english ? QStringLiteral("User Commands") : QStringLiteral("Commandes utilisateur"));
    page += header.english ? QLatin1String(".SH NAME\n") : QLatin1String(".SH NOM\n");
    page += roffEscape(header.name) + QLatin1String(" \\- ") + roffEscape(header.summary) + QLatin1Char('\n');

    int i = 0;
    page += QLatin1String(".SH SYNOPSIS\n");
    for (; i < lines.size() && lines[i].startsWith(QLatin1String("Usage")); ++i) {
        const QString usage = lines[i].mid(lines[i].indexOf(QLatin1Char(':')) + 1).trimmed();
        if (i > 0) page += QLatin1String(".br\n");
        page += roffEscape(usage) + QLatin1Char('\n');
    }
    page += QLatin1String(".SH DESCRIPTION\n");

    bool inItem = false;    // lines indented by four go to the current tagged paragraph
    bool needBreak = false; // a blank line was seen: the next text starts a paragraph
    for (; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.trimmed().isEmpty()) {
            needBreak = true;
            continue;
        }
        if (isHeading(line)) {
            page += QLatin1String(".SH ") + roffEscape(headingName(line)) + QLatin1Char('\n');
            inItem = false;
            needBreak = false;
            continue;
        }
        const int indent = indentOf(line);
        if (indent >= 2 && indent < 4) {
            const auto [term, text] = splitItem(line);
            page += QLatin1String(".TP\n\\fB") + roffEscape(term) + QLatin1String("\\fR\n");
            if (!text.isEmpty()) page += roffEscape(text) + QLatin1Char('\n');
            inItem = true;
            needBreak = false;
            continue;
        }
        if (indent >= 4 && inItem) {
            if (needBreak) page += QLatin1String(".IP\n");
            page += roffEscape(line.trimmed()) + QLatin1Char('\n');
            needBreak = false;
            continue;
        }
        if (inItem || needBreak) page += QLatin1String(".PP\n");
        inItem = false;
        needBreak = false;
        page += roffEscape(line.trimmed()) + QLatin1Char('\n');
    }
    if (!header.seeAlso.isEmpty())
        page += (header.english ? QLatin1String(".SH SEE ALSO\n") : QLatin1String(".SH VOIR AUSSI\n")) +
                roffEscape(header.seeAlso) + QLatin1Char('\n');
    return page;
}

} // namespace vantorel
