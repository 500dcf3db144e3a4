// SPDX-License-Identifier: GPL-3.0-or-later
#include "positiontext.h"

#include "numberformat.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <QVector>
#include <cmath>
#include <optional>

namespace vantorel {
namespace {

constexpr int kLongestText = 2000;

const QString kNothing = QStringLiteral("Aucune position dans ce texte");
const QString kTooLong = QStringLiteral("Texte trop long pour une position");
const QString kControl = QStringLiteral("Le texte contient des caractères de contrôle");
const QString kNotAPair = QStringLiteral("Il faut une latitude et une longitude");
const QString kAmbiguousComma =
    QStringLiteral("« %1 » est ambigu : un nombre décimal ou deux nombres ? Séparer la latitude et la "
                   "longitude par « ; » ou écrire les décimales avec un point");
const QString kUnreadable = QStringLiteral("Position illisible à « %1 »");
const QString kLatitudeRange = QStringLiteral("La latitude doit être entre -90 et 90 degrés");
const QString kLongitudeRange = QStringLiteral("La longitude doit être entre -180 et 180 degrés");
const QString kMinutesRange = QStringLiteral("Les minutes doivent être inférieures à 60");
const QString kSecondsRange = QStringLiteral("Les secondes doivent être inférieures à 60");
const QString kWholeDegrees = QStringLiteral("Des degrés suivis de minutes doivent être entiers");
const QString kWholeMinutes = QStringLiteral("Des minutes suivies de secondes doivent être entières");
const QString kLetters =
    QStringLiteral("Il faut une lettre de latitude (N, S) et une de longitude (E, O, W)");
const QString kOneLetter = QStringLiteral("Une seule des deux coordonnées porte sa lettre (N, S, E, O, W)");
const QString kSignAndLetter = QStringLiteral("Un signe et une lettre pour la même coordonnée");
const QString kUnknownLink = QStringLiteral("Lien sans position reconnue");
const QString kShortLink =
    QStringLiteral("Lien raccourci : l'ouvrir d'abord, puis copier l'adresse complète");
const QString kUnknownCrs = QStringLiteral("Système de coordonnées inconnu");

PositionReading refused(const QString& reason) {
    PositionReading r;
    r.reason = reason;
    return r;
}

PositionReading checked(double latitude, double longitude) {
    if (!std::isfinite(latitude) || std::abs(latitude) > 90) return refused(kLatitudeRange);
    if (!std::isfinite(longitude) || std::abs(longitude) > 180) return refused(kLongitudeRange);
    PositionReading r;
    r.ok = true;
    // -0 is written as 0.
    r.latitude = latitude + 0.0;
    r.longitude = longitude + 0.0;
    return r;
}

// "LAT,LON" with point decimals, as links and geo: URIs carry it (blanks after the comma allowed).
std::optional<std::pair<double, double>> pointPair(const QString& text) {
    static const QRegularExpression pair(
        QStringLiteral(R"(^\s*([-+]?\d+(?:\.\d+)?)\s*,\s*([-+]?\d+(?:\.\d+)?)\s*$)"));
    const auto m = pair.match(text);
    if (!m.hasMatch()) return std::nullopt;
    return std::pair{m.captured(1).toDouble(), m.captured(2).toDouble()};
}

PositionReading fromPair(const std::optional<std::pair<double, double>>& pair) {
    if (!pair) return refused(kUnknownLink);
    return checked(pair->first, pair->second);
}

// geo:LAT,LON[,ALT][;crs=wgs84][;u=...][?q=...]
PositionReading readGeoUri(const QString& text) {
    QString rest = text.mid(4);
    const qsizetype query = rest.indexOf(u'?');
    if (query >= 0) rest.truncate(query);
    QStringList parts = rest.split(u';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString parameter = parts[i].trimmed().toLower();
        if (parameter.startsWith(QLatin1String("crs=")) && parameter != QLatin1String("crs=wgs84"))
            return refused(kUnknownCrs);
    }
    QStringList numbers = parts[0].split(u',');
    if (numbers.size() == 3) numbers.removeLast(); // the altitude
    if (numbers.size() != 2) return refused(kNotAPair);
    const auto pair = pointPair(numbers.join(u','));
    if (!pair) return refused(kUnreadable.arg(parts[0].left(40)));
    return checked(pair->first, pair->second);
}

bool hostIs(const QString& host, const QString& domain) {
    return host == domain || host.endsWith(u'.' + domain);
}

PositionReading readLink(const QString& text) {
    const QUrl url(text.contains(QLatin1String("://")) ? text : QStringLiteral("https://") + text);
    const QString host = url.host().toLower();
    const QUrlQuery query(url);
    const auto queryPair = [&](const QString& key) {
        return query.hasQueryItem(key) ? pointPair(query.queryItemValue(key, QUrl::FullyDecoded))
                                       : std::nullopt;
    };
    if (hostIs(host, QStringLiteral("openstreetmap.org")) || hostIs(host, QStringLiteral("osm.org"))) {
        // The marker (mlat/mlon) before the view's centre (#map=ZOOM/LAT/LON).
        if (query.hasQueryItem(QStringLiteral("mlat")) || query.hasQueryItem(QStringLiteral("mlon")))
            return fromPair(pointPair(query.queryItemValue(QStringLiteral("mlat")) + u',' +
                                      query.queryItemValue(QStringLiteral("mlon"))));
        static const QRegularExpression view(QStringLiteral(R"((?:^|&)map=\d+(?:\.\d+)?/([^/&]+)/([^/&]+))"));
        const auto m = view.match(url.fragment(QUrl::FullyDecoded));
        return fromPair(m.hasMatch() ? pointPair(m.captured(1) + u',' + m.captured(2)) : std::nullopt);
    }
    if (host == QLatin1String("goo.gl") || host == QLatin1String("maps.app.goo.gl"))
        return refused(kShortLink);
    const bool google = host.startsWith(QLatin1String("google.")) || host.contains(QLatin1String(".google."));
    if (google &&
        (host.startsWith(QLatin1String("maps.")) || url.path().startsWith(QLatin1String("/maps")))) {
        const QString path = url.path(QUrl::FullyDecoded);
        // A place's own position (!3dLAT!4dLON) before the view's centre (@LAT,LON,ZOOMz).
        static const QRegularExpression place(QStringLiteral(R"(!3d([-+]?[\d.]+)!4d([-+]?[\d.]+))"));
        static const QRegularExpression centre(QStringLiteral(R"(/@([-+]?[\d.]+),([-+]?[\d.]+))"));
        if (const auto m = place.match(path); m.hasMatch())
            return fromPair(pointPair(m.captured(1) + u',' + m.captured(2)));
        if (const auto m = centre.match(path); m.hasMatch())
            return fromPair(pointPair(m.captured(1) + u',' + m.captured(2)));
        for (const QString& key : {QStringLiteral("q"), QStringLiteral("query"), QStringLiteral("ll")})
            if (const auto pair = queryPair(key)) return fromPair(pair);
        return refused(kUnknownLink);
    }
    if (host == QLatin1String("maps.apple.com")) {
        for (const QString& key : {QStringLiteral("ll"), QStringLiteral("coordinate"), QStringLiteral("q")})
            if (const auto pair = queryPair(key)) return fromPair(pair);
        return refused(kUnknownLink);
    }
    return refused(kUnknownLink);
}

// A text of numbers, hemisphere letters and unit symbols, read in two steps: the tokens, then
// one or two coordinates made of them.
enum class Kind { Number, Sign, Letter, Degree, Minute, Second, Separator };

struct Token {
    Kind kind;
    double value = 0;
    bool whole = true;  // a number without decimals
    bool comma = false; // a number written with a decimal comma
    QChar ch;
    qsizetype at = 0;
};

struct Tokens {
    QVector<Token> list;
    QString error;
};

Tokens tokenize(const QString& t) {
    Tokens out;
    const bool semicolon = t.contains(u';');
    const bool point = t.contains(u'.');
    const auto digitAt = [&](qsizetype i) {
        return i >= 0 && i < t.size() && t[i].isDigit() && t[i].unicode() < 128;
    };
    // A comma between two digits is a decimal comma unless points already are the decimals; a
    // semicolon leaves the comma no other role.
    const auto decimalComma = [&](qsizetype i) {
        return t[i] == u',' && digitAt(i - 1) && digitAt(i + 1) && (semicolon || !point);
    };
    qsizetype i = 0;
    while (i < t.size()) {
        const QChar c = t[i];
        if (c.isSpace() || c.category() == QChar::Other_Format) {
            ++i;
            continue;
        }
        Token token{Kind::Number, 0, true, false, c, i};
        if (digitAt(i)) {
            qsizetype end = i;
            while (digitAt(end))
                ++end;
            QString number = t.mid(i, end - i);
            if (end < t.size() && (t[end] == u'.' || decimalComma(end)) && digitAt(end + 1)) {
                token.whole = false;
                token.comma = t[end] == u',';
                qsizetype decimals = end + 1;
                while (digitAt(decimals))
                    ++decimals;
                number += u'.' + t.mid(end + 1, decimals - end - 1);
                end = decimals;
            }
            token.value = number.toDouble();
            out.list << token;
            i = end;
            continue;
        }
        const char16_t u = c.unicode();
        if (u == u'-' || u == u'+' || u == u'\u2212' || u == u'\u2013') {
            token.kind = Kind::Sign;
            token.value = u == u'+' ? 1 : -1;
        } else if (u == u'N' || u == u'S' || u == u'E' || u == u'W' || u == u'O') {
            token.kind = Kind::Letter;
        } else if (u == u'\u00B0' || u == u'\u00BA' || u == u'd') {
            token.kind = Kind::Degree;
        } else if ((u == u'\'' || u == u'\u2019' || u == u'\u2032') && i + 1 < t.size() && t[i + 1] == c) {
            token.kind = Kind::Second; // two apostrophes
            ++i;
        } else if (u == u'\'' || u == u'\u2019' || u == u'\u2032' || u == u'm') {
            token.kind = Kind::Minute;
        } else if (u == u'"' || u == u'\u2033' || u == u'\u201D' || u == u's') {
            token.kind = Kind::Second;
        } else if (u == u';' || (u == u',' && !semicolon)) {
            token.kind = Kind::Separator;
        } else {
            out.error = kUnreadable.arg(t.mid(i, 12));
            return out;
        }
        out.list << token;
        ++i;
    }
    return out;
}

struct Coordinate {
    QChar letter; // null when none
    double sign = 0;
    double value = 0;
    bool units = false; // written with a degree, minute or second symbol
    bool comma = false;
};

// One coordinate from `at`: [letter] [sign] degrees [° [minutes ' [seconds "]]] [letter].
std::optional<Coordinate> coordinate(const QVector<Token>& tokens, qsizetype& at, QString& error) {
    const auto is = [&](qsizetype i, Kind kind) { return i < tokens.size() && tokens[i].kind == kind; };
    Coordinate c;
    if (is(at, Kind::Letter)) c.letter = tokens[at++].ch;
    if (is(at, Kind::Sign)) c.sign = tokens[at++].value;
    if (!is(at, Kind::Number)) {
        error = at < tokens.size() ? kUnreadable.arg(tokens[at].ch) : kNotAPair;
        return std::nullopt;
    }
    const Token& degrees = tokens[at++];
    c.value = degrees.value;
    c.comma = degrees.comma;
    if (is(at, Kind::Degree)) {
        ++at;
        c.units = true;
        if (is(at, Kind::Number) && is(at + 1, Kind::Minute)) {
            const Token& minutes = tokens[at];
            at += 2;
            if (!degrees.whole) error = kWholeDegrees;
            if (minutes.value >= 60) error = kMinutesRange;
            c.value += minutes.value / 60;
            if (is(at, Kind::Number) && is(at + 1, Kind::Second)) {
                const Token& seconds = tokens[at];
                at += 2;
                if (!minutes.whole) error = kWholeMinutes;
                if (seconds.value >= 60) error = kSecondsRange;
                c.value += seconds.value / 3600;
            }
        }
    }
    if (c.letter.isNull() && is(at, Kind::Letter)) c.letter = tokens[at++].ch;
    if (!error.isEmpty()) return std::nullopt;
    if (!c.letter.isNull() && c.sign != 0) {
        error = kSignAndLetter;
        return std::nullopt;
    }
    return c;
}

bool isLatitudeLetter(QChar letter) {
    return letter == u'N' || letter == u'S';
}

PositionReading readCoordinates(const QString& text) {
    const Tokens tokens = tokenize(text);
    if (!tokens.error.isEmpty()) return refused(tokens.error);
    const QVector<Token>& list = tokens.list;
    QVector<Coordinate> found;
    qsizetype at = 0;
    while (at < list.size()) {
        if (list[at].kind == Kind::Separator) {
            // One separator, between the two coordinates.
            if (found.isEmpty() || list[at - 1].kind == Kind::Separator || at + 1 == list.size())
                return refused(kUnreadable.arg(list[at].ch));
            if (found.size() == 2) return refused(kNotAPair);
            ++at;
            continue;
        }
        if (found.size() == 2) return refused(kNotAPair);
        QString error;
        const auto c = coordinate(list, at, error);
        if (!c) return refused(error);
        found << *c;
    }
    if (found.isEmpty()) return refused(kNothing);
    if (found.size() == 1) {
        const Coordinate& only = found[0];
        if (only.comma && only.letter.isNull() && !only.units) return refused(kAmbiguousComma.arg(text));
        return refused(kNotAPair);
    }
    Coordinate latitude = found[0], longitude = found[1];
    const bool firstLetter = !latitude.letter.isNull(), secondLetter = !longitude.letter.isNull();
    if (firstLetter != secondLetter) return refused(kOneLetter);
    if (firstLetter) {
        if (isLatitudeLetter(latitude.letter) == isLatitudeLetter(longitude.letter)) return refused(kLetters);
        if (!isLatitudeLetter(latitude.letter)) std::swap(latitude, longitude);
    }
    const auto signedValue = [](const Coordinate& c) {
        const bool negative = c.sign < 0 || c.letter == u'S' || c.letter == u'W' || c.letter == u'O';
        return negative ? -c.value : c.value;
    };
    return checked(signedValue(latitude), signedValue(longitude));
}

QString withPoint(QString text) {
    return text.trimmed().replace(decimalSeparator(), QStringLiteral("."));
}

} // namespace

PositionReading readPositionText(const QString& input) {
    if (input.size() > kLongestText) return refused(kTooLong);
    const QString text = input.trimmed();
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control && !c.isSpace()) return refused(kControl);
    if (text.isEmpty()) return refused(kNothing);
    if (text.startsWith(QLatin1String("geo:"), Qt::CaseInsensitive)) return readGeoUri(text);
    static const QRegularExpression link(QStringLiteral(R"(^(?:[a-z][a-z0-9+.-]*://|www\.|maps\.)\S+$)"),
                                         QRegularExpression::CaseInsensitiveOption);
    if (link.match(text).hasMatch()) return readLink(text);
    // A pair in brackets, as some programs write it.
    static const QRegularExpression bracketed(QStringLiteral(R"(^[(\[](.*)[)\]]$)"));
    const auto inner = bracketed.match(text);
    return readCoordinates(inner.hasMatch() ? inner.captured(1) : text);
}

QString pointPairText(const QString& latitude, const QString& longitude) {
    return withPoint(latitude) + QStringLiteral(", ") + withPoint(longitude);
}

QString geoUriText(const QString& latitude, const QString& longitude) {
    return QStringLiteral("geo:") + withPoint(latitude) + u',' + withPoint(longitude);
}

} // namespace vantorel
