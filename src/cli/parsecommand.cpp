// SPDX-License-Identifier: GPL-3.0-or-later
// vantorel-cli parse: the position the program reads in a text (a pasted pair, degrees-minutes-
// seconds, a geo: URI, a map link), or why it refuses it.
#include "commands.h"

#include "text/numberformat.h"
#include "text/positiontext.h"

namespace vantorel::cli {

int runParse(QStringList args, QTextStream& out, QTextStream& err) {
    constexpr int kRefused = 4;
    // "--" first: a text that starts with "-" ("-33.5 151") is read whatever it looks like.
    if (!args.isEmpty() && args.first() == kEndOfOptions) args.removeFirst();
    if (args.isEmpty()) {
        err << QStringLiteral("parse : indiquer un texte\n");
        return 2;
    }
    // Words given apart are one text, as a shell splits "48.85 2.29" without quotes.
    const PositionReading r = readPositionText(args.join(u' '));
    if (!r.ok) {
        err << escapeCell(r.reason) << u'\n';
        return kRefused;
    }
    out << FloatToStrF(r.latitude, 15, 6) << u'\t' << FloatToStrF(r.longitude, 15, 6) << u'\n';
    return 0;
}

} // namespace vantorel::cli
