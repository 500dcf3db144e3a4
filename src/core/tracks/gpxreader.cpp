// SPDX-License-Identifier: GPL-3.0-or-later
#include "gpxreader.h"

#include <QDate>
#include <QXmlStreamReader>

#include <cmath>

namespace vantorel {
namespace {

const QString kTrackError = QStringLiteral("Trace « %1 », ligne %2 : %3.");

int digits(QStringView text, qsizetype from, int count) {
    if (from + count > text.size()) return -1;
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<double> number(QStringView text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace

std::optional<qint64> parseIsoTime(QStringView text) {
    text = text.trimmed();
    const int y = digits(text, 0, 4), mo = digits(text, 5, 2), d = digits(text, 8, 2);
    const int h = digits(text, 11, 2), mi = digits(text, 14, 2), s = digits(text, 17, 2);
    if (y < 0 || text.size() < 19 || text[4] != u'-' || text[7] != u'-' ||
        (text[10] != u'T' && text[10] != u't') || text[13] != u':' || text[16] != u':')
        return std::nullopt;
    const QDate date(y, mo, d);
    if (!date.isValid() || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60) return std::nullopt;
    qint64 ms = (date.toJulianDay() - 2440588) * 86400000 + (h * 3600 + mi * 60 + s) * 1000LL;
    qsizetype i = 19;
    if (i < text.size() && (text[i] == u'.' || text[i] == u',')) {
        qint64 scale = 100;
        for (++i; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
            ms += (text[i].unicode() - '0') * scale;
            scale /= 10;
        }
    }
    if (i == text.size() || ((text[i] == u'Z' || text[i] == u'z') && i + 1 == text.size())) return ms;
    if (text[i] != u'+' && text[i] != u'-') return std::nullopt;
    const int oh = digits(text, i + 1, 2);
    const bool colon = i + 3 < text.size() && text[i + 3] == u':';
    const int om = digits(text, i + (colon ? 4 : 3), 2);
    if (oh < 0 || oh > 14 || om < 0 || om > 59 || i + (colon ? 6 : 5) != text.size()) return std::nullopt;
    const qint64 offset = (oh * 3600 + om * 60) * 1000LL;
    return text[i] == u'-' ? ms + offset : ms - offset;
}

TrackReading readGpx(QIODevice& device, const QString& name, int firstSegment,
                     const GpxReadOptions& options) {
    TrackReading r;
    GuardedTrackInput input(device, options.control);
    QXmlStreamReader xml(&input);
    xml.setNamespaceProcessing(true);
    const QString malformed = QStringLiteral("fichier XML mal formé");
    const auto fail = [&](const QString& why) {
        r.fixes.clear();
        r.fixes.shrink_to_fit();
        const bool refused = !input.refusal().isEmpty();
        r.error = kTrackError.arg(name)
                      .arg(refused ? input.refusalLine() : xml.lineNumber())
                      .arg(refused ? input.refusal() : why);
        return r;
    };
    QString gpxNamespace; // the root's: elements of any other are extensions
    bool rootSeen = false;
    int segment = firstSegment - 1;
    int waypointSegment = -1; // with waypointsAsOneSegment, taken at the first waypoint
    QString text;             // an element's text, reused from point to point
    // The text of the current element, which is ours and holds no element; false on malformed XML.
    const QString tooLong = QStringLiteral("valeur trop longue");
    bool overlong = false;
    const auto readText = [&xml, &text, &overlong] {
        text.clear();
        for (;;) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::Characters) {
                if (text.size() + xml.text().size() > kMaxTrackValueChars) return !(overlong = true);
                text += xml.text();
            } else if (token == QXmlStreamReader::EndElement)
                return true;
            else if (token == QXmlStreamReader::StartElement)
                xml.skipCurrentElement();
            else if (token == QXmlStreamReader::Invalid)
                return false;
        }
    };
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::DTD) return fail(QStringLiteral("déclaration DOCTYPE refusée"));
        if (token != QXmlStreamReader::StartElement) continue;
        const QStringView element = xml.name();
        if (!rootSeen) {
            if (element != u"gpx") return fail(QStringLiteral("ce n'est pas un fichier GPX"));
            rootSeen = true;
            gpxNamespace = xml.namespaceUri().toString();
            continue;
        }
        const bool point = element == u"trkpt" || element == u"rtept" || element == u"wpt";
        const bool known = point || element == u"trk" || element == u"trkseg" || element == u"rte";
        if (!known || xml.namespaceUri() != gpxNamespace) {
            xml.skipCurrentElement();
            continue;
        }
        const bool waypoint = element == u"wpt";
        if (waypoint && options.waypointsAsOneSegment) {
            if (waypointSegment < 0) waypointSegment = ++segment;
        } else if (element == u"trkseg" || element == u"rte" || waypoint) {
            ++segment;
        }
        if (!point) continue;
        TrackFix fix;
        fix.segment = waypoint && options.waypointsAsOneSegment ? waypointSegment : segment;
        const QXmlStreamAttributes attributes = xml.attributes();
        const auto latitude = number(attributes.value(QLatin1StringView("lat")));
        const auto longitude = number(attributes.value(QLatin1StringView("lon")));
        if (!latitude || !longitude || std::abs(*latitude) > 90 || std::abs(*longitude) > 180)
            return fail(QStringLiteral("latitude ou longitude illisible"));
        fix.latitude = *latitude;
        fix.longitude = *longitude;
        bool timed = false;
        // Every child is read to its end, so the next end is the point's.
        for (auto token = xml.readNext(); token != QXmlStreamReader::EndElement; token = xml.readNext()) {
            if (token == QXmlStreamReader::Invalid) return fail(malformed);
            if (token != QXmlStreamReader::StartElement) continue;
            const bool time = xml.name() == u"time", elevation = !time && xml.name() == u"ele";
            if ((!time && !elevation) || xml.namespaceUri() != gpxNamespace) {
                xml.skipCurrentElement();
                continue;
            }
            if (!readText()) return fail(overlong ? tooLong : malformed);
            if (time) {
                const auto t = parseIsoTime(text);
                if (!t) return fail(QStringLiteral("heure illisible"));
                fix.utcMs = *t;
                timed = true;
            } else if (!QStringView(text).trimmed().isEmpty()) {
                const auto metres = number(text);
                if (!metres) return fail(QStringLiteral("altitude illisible"));
                if (std::abs(*metres) > kMaxTrackElevation)
                    return fail(QStringLiteral("altitude hors limites (plus de 100 km)"));
                fix.elevation = *metres;
                fix.hasElevation = true;
            }
        }
        if (timed) r.fixes.push_back(fix);
    }
    if (xml.hasError() || !input.refusal().isEmpty()) return fail(malformed);
    if (!rootSeen) return fail(QStringLiteral("ce n'est pas un fichier GPX"));
    return r;
}

} // namespace vantorel
