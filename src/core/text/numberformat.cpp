// SPDX-License-Identifier: GPL-3.0-or-later
// Decimal formatting on an exact digit string: the value is expanded to 18 significant digits
// (what an extended-precision conversion yields), then rounded half away from zero once, at the
// position the format asks for.
#include "numberformat.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace vantorel {
namespace {

struct Decimal {
    bool negative = false;
    QByteArray digits; // significant digits, no leading zeros, no trailing zeros; empty = zero
    int exponent = 0;  // value = 0.digits x 10^exponent
};

Decimal toDecimal(double value) {
    Decimal d;
    d.negative = std::signbit(value);
    if (value == 0) return d;
    char buf[64];
    // The digits printf's "%.17e" gives, without its locale and argument handling.
    const auto end =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 17).ptr;
    // buf = "d.ddddddddddddddddde+XX"
    QByteArray s(buf, end - buf);
    const int e = s.indexOf('e');
    QByteArray mant = s.left(e);
    mant.remove(1, 1);
    d.digits = mant;
    d.exponent = std::atoi(s.constData() + e + 1) + 1;
    while (d.digits.endsWith('0'))
        d.digits.chop(1);
    return d;
}

// Keeps `count` significant digits, rounding half away from zero.
void roundTo(Decimal& d, int count) {
    if (count >= d.digits.size()) return;
    if (count < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[count] >= '5';
    d.digits.truncate(count);
    if (up) {
        int i = count - 1;
        while (i >= 0 && d.digits[i] == '9')
            d.digits[i--] = '0';
        if (i < 0) {
            d.digits.prepend('1');
            d.exponent += 1;
        } else {
            d.digits[i] = char(d.digits[i] + 1);
        }
    }
    while (d.digits.endsWith('0'))
        d.digits.chop(1);
}

QString specialText(double value) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

QString formatGeneral(Decimal d, int precision) {
    roundTo(d, precision);
    if (d.digits.isEmpty()) return QStringLiteral("0");
    const QString sep = decimalSeparator();
    QString out = d.negative ? QStringLiteral("-") : QString();
    const QString digits = QString::fromLatin1(d.digits);
    if (d.exponent > precision || d.exponent < -3) {
        out += digits.left(1);
        if (digits.size() > 1) out += sep + digits.mid(1);
        out += QLatin1Char('E') + QString::number(d.exponent - 1);
        return out;
    }
    if (d.exponent <= 0) {
        out += QLatin1Char('0') + sep + QString(-d.exponent, QLatin1Char('0')) + digits;
    } else if (digits.size() <= d.exponent) {
        out += digits + QString(d.exponent - digits.size(), QLatin1Char('0'));
    } else {
        out += digits.left(d.exponent) + sep + digits.mid(d.exponent);
    }
    return out;
}

} // namespace

QString decimalSeparator() {
    return QLocale().decimalPoint();
}

QString FloatToStrF(double value, int precision, int digits) {
    if (!std::isfinite(value)) return specialText(value);
    precision = std::clamp(precision, 1, 18);
    digits = std::clamp(digits, 0, 18);
    Decimal d = toDecimal(value);
    if (d.exponent > precision) return formatGeneral(d, precision);
    roundTo(d, std::min(precision, d.exponent + digits));
    if (d.exponent > precision) return formatGeneral(d, precision);

    QString out = (d.negative && !d.digits.isEmpty()) ? QStringLiteral("-") : QString();
    const QString all = QString::fromLatin1(d.digits);
    if (d.digits.isEmpty() || d.exponent <= 0) {
        out += QLatin1Char('0');
    } else {
        out += all.left(d.exponent);
        if (all.size() < d.exponent) out += QString(d.exponent - all.size(), QLatin1Char('0'));
    }
    if (digits > 0) {
        QString frac;
        if (!d.digits.isEmpty()) {
            if (d.exponent < 0)
                frac = QString(-d.exponent, QLatin1Char('0')) + all;
            else
                frac = all.mid(d.exponent);
        }
        frac = frac.left(digits);
        frac += QString(digits - frac.size(), QLatin1Char('0'));
        out += decimalSeparator() + frac;
    }
    return out;
}

QString FloatToStr(double value) {
    if (!std::isfinite(value)) return specialText(value);
    return formatGeneral(toDecimal(value), 15);
}

std::optional<double> StrToFloat(const QString& text) {
    // Only spaces count as blanks, as in the conversion the texts were made for.
    qsizetype first = 0, last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    const QString t = text.mid(first, last - first);
    if (t.isEmpty()) return std::nullopt;
    const QString sep = decimalSeparator();
    QByteArray ascii;
    ascii.reserve(t.size());
    int i = 0;
    auto at = [&](int k) { return k < t.size() ? t[k] : QChar(); };
    if (at(i) == u'+' || at(i) == u'-') ascii += char(t[i++].unicode());
    int mantissaDigits = 0;
    while (at(i).isDigit() && at(i).unicode() < 128) {
        ascii += char(t[i++].unicode());
        ++mantissaDigits;
    }
    if (t.mid(i, sep.size()) == sep) {
        ascii += '.';
        i += sep.size();
        while (at(i).isDigit() && at(i).unicode() < 128) {
            ascii += char(t[i++].unicode());
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) return std::nullopt;
    if (at(i) == u'e' || at(i) == u'E') {
        ascii += 'e';
        ++i;
        if (at(i) == u'+' || at(i) == u'-') ascii += char(t[i++].unicode());
        int expDigits = 0;
        while (at(i).isDigit() && at(i).unicode() < 128) {
            ascii += char(t[i++].unicode());
            ++expDigits;
        }
        if (expDigits == 0) return std::nullopt;
    }
    if (i != t.size()) return std::nullopt;
    const char* begin = ascii.constData();
    if (*begin == '+') ++begin;
    double v = 0;
    auto [ptr, ec] = std::from_chars(begin, ascii.constData() + ascii.size(), v);
    if (ec == std::errc::result_out_of_range) return std::nullopt;
    if (ec != std::errc() || ptr != ascii.constData() + ascii.size()) return std::nullopt;
    return v;
}

int StrToIntDef(const QString& text, int fallback) {
    // Val's rules: leading spaces, a sign, "$" or "0x" for hexadecimal, then digits to the end.
    // Hexadecimal takes the full 32 bits ("$FFFFFFFF" is -1); decimal must fit an int.
    int i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return fallback;
    const qint64 limit = base == 16 ? qint64(0xFFFFFFFF) : (negative ? qint64(INT_MAX) + 1 : qint64(INT_MAX));
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return fallback;
        v = v * base + digit;
        if (v > limit) return fallback;
    }
    if (negative) v = -v;
    return int(qint32(quint32(v)));
}

QString IntToHex(quint64 value, int digits) {
    return QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

} // namespace vantorel
