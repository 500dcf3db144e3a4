// SPDX-License-Identifier: GPL-3.0-or-later
// Texts from files escaped for a page, a script, an XML file and a terminal line.
#include "text/escape.h"

#include <gtest/gtest.h>

using namespace vantorel;

namespace {

TEST(Escape, EachTargetByTable) {
    const QString hostile = QStringLiteral("</script><img src=x onerror=alert(1)>'\"&\\");
    struct Case {
        const char* name;
        QString (*escape)(const QString&);
        QString in, out;
    } cases[] = {
        {"html", htmlEscape, hostile,
         QStringLiteral("&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;&#39;&quot;&amp;\\")},
        {"js", jsStringLiteral, hostile,
         QStringLiteral(
             "\"\\u003C/script\\u003E\\u003Cimg src=x onerror=alert(1)\\u003E\\u0027\\u0022\\u0026\\\\\"")},
        {"js line breaks", jsStringLiteral, QString::fromUtf8("a\nb\u2028c\u2029d\te"),
         QStringLiteral("\"a\\u000Ab\\u2028c\\u2029d\\u0009e\"")},
        {"js lone surrogate", jsStringLiteral, QString(QChar(0xD800)) + QString::fromUtf8("é😀"),
         QStringLiteral("\"\\uFFFDé") + QString::fromUtf8("😀") + QStringLiteral("\"")},
        {"xml", xmlEscape, hostile,
         QStringLiteral("&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;&apos;&quot;&amp;\\")},
        {"xml forbidden characters dropped", xmlEscape,
         QStringLiteral("a") + QChar(0x01) + QChar(0x1B) + QStringLiteral("\tb\n") + QChar(0xFFFE) +
             QChar(0xDC00),
         QStringLiteral("a\tb\n")},
        {"terminal", escapeCell,
         QStringLiteral("a\tb\nc\\") + QChar(0x1B) + QStringLiteral("[2J") + QChar(0x07) + QChar(0x2028),
         QStringLiteral("a\\tb\\nc\\\\\\x1B[2J\\x07\\u2028")},
        // A name that would show reversed ("gpj.exe" read as "exe.jpg") keeps its order on a terminal.
        {"terminal direction controls", escapeCell,
         QStringLiteral("a") + QChar(0x202E) + QStringLiteral("gpj.exe") + QChar(0x202A) + QChar(0x202B) +
             QChar(0x202C) + QChar(0x202D) + QChar(0x2066) + QChar(0x2067) + QChar(0x2068) + QChar(0x2069) +
             QStringLiteral("é"),
         QStringLiteral("a\\u202Egpj.exe\\u202A\\u202B\\u202C\\u202D\\u2066\\u2067\\u2068\\u2069é")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.escape(c.in), c.out) << c.name;
}

} // namespace
