// SPDX-License-Identifier: GPL-3.0-or-later
#include "escape.h"

#include "files/pathnames.h"

#include <algorithm>

namespace vantorel {
namespace {

QString hex(uint value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// & < > " ' as character references; with `xmlOnly`, characters XML 1.0 forbids are dropped.
QString entities(const QString& text, QLatin1String apostrophe, bool xmlOnly) {
    QString out;
    out.reserve(text.size() + text.size() / 8);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (xmlOnly) {
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
                out += text[i];
                out += text[++i];
                continue;
            }
            if (QChar::isSurrogate(c) || !isXmlChar(c)) continue;
        }
        switch (c) {
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'"':
            out += QLatin1String("&quot;");
            break;
        case u'\'':
            out += apostrophe;
            break;
        default:
            out += QChar(c);
        }
    }
    return out;
}

// The direction controls (embeddings, overrides, isolates), which would show a name's characters in
// another order.
bool isDirectionControl(char16_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString htmlEscape(const QString& text) {
    return entities(text, QLatin1String("&#39;"), false);
}

QString jsStringLiteral(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            out += text[i];
            out += text[++i];
            continue;
        }
        if (QChar::isSurrogate(c)) {
            out += QLatin1String("\\uFFFD");
            continue;
        }
        switch (c) {
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'"':
        case u'\'':
        case u'<':
        case u'>':
        case u'&':
        case u'\u2028':
        case u'\u2029':
            out += QLatin1String("\\u") + hex(c, 4);
            break;
        default:
            if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
                out += QLatin1String("\\u") + hex(c, 4);
            else
                out += QChar(c);
        }
    }
    out += u'"';
    return out;
}

QString xmlEscape(const QString& text) {
    return entities(text, QLatin1String("&apos;"), true);
}

QString escapeCell(const QString& text) {
    // Most cells are plain printable ASCII: they are kept as they are, without a copy.
    if (std::all_of(text.begin(), text.end(),
                    [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'\\'; }))
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\u2028':
        case u'\u2029':
            out += QStringLiteral("\\u") + hex(c.unicode(), 4);
            break;
        default:
            if (isDirectionControl(c.unicode()))
                out += QStringLiteral("\\u") + hex(c.unicode(), 4);
            else if (c.category() == QChar::Other_Control)
                out += QStringLiteral("\\x") + hex(c.unicode(), 2);
            else if (isByteCharacter(c.unicode())) // a byte of a file name that is not UTF-8
                out += QStringLiteral("\\x") + hex(0x80 + (c.unicode() - kFirstByteCharacter), 2);
            else
                out += c;
        }
    }
    return out;
}

} // namespace vantorel
