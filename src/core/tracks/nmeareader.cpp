// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmeareader.h"

#include <QDate>
#include <QIODevice>
#include <QList>

#include <cmath>
#include <optional>
#include <vector>

namespace vantorel {
namespace {

constexpr qint64 kDayMs = 86400000;
constexpr qint64 kMaxLine = 1024; // a sentence is at most 82 characters

struct Sentence {
    bool rmc = false;
    qint64 dayMs = 0; // the time of day
    double latitude = 0, longitude = 0;
    std::optional<QDate> date;       // RMC
    std::optional<double> elevation; // GGA
};

std::optional<double> decimal(const QByteArray& field) {
    if (field.isEmpty()) return std::nullopt;
    for (char c : field)
        if (!(c >= '0' && c <= '9') && c != '.' && c != '-') return std::nullopt;
    bool ok = false;
    const double v = field.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

// "ddmm.mmmm" or "dddmm.mmmm" with its hemisphere.
std::optional<double> degrees(const QByteArray& field, const QByteArray& hemisphere, double limit) {
    const auto v = decimal(field);
    if (!v || *v < 0) return std::nullopt;
    const double whole = std::floor(*v / 100);
    const double minutes = *v - whole * 100;
    const double d = whole + minutes / 60;
    if (minutes >= 60 || d > limit) return std::nullopt;
    if (hemisphere == "S" || hemisphere == "W") return -d;
    if (hemisphere == "N" || hemisphere == "E") return d;
    return std::nullopt;
}

// "hhmmss" with an optional fraction.
std::optional<qint64> timeOfDay(const QByteArray& field) {
    if (field.size() < 6) return std::nullopt;
    const auto v = decimal(field);
    if (!v || *v < 0) return std::nullopt;
    const int h = int(*v / 10000), m = int(*v / 100) % 100;
    const double s = *v - h * 10000 - m * 100;
    if (h > 23 || m > 59 || s >= 61) return std::nullopt;
    return (h * 3600 + m * 60) * 1000LL + std::llround(s * 1000);
}

// The sentence's fields, when its checksum (if any) holds.
std::optional<QList<QByteArray>> fields(QByteArray line) {
    line = line.trimmed();
    const qsizetype start = line.indexOf('$');
    if (start < 0) return std::nullopt;
    line = line.mid(start + 1);
    if (const qsizetype star = line.indexOf('*'); star >= 0) {
        bool ok = false;
        const int expected = line.mid(star + 1, 2).toInt(&ok, 16);
        quint8 sum = 0;
        for (qsizetype i = 0; i < star; ++i)
            sum ^= quint8(line[i]);
        if (!ok || sum != expected) return std::nullopt;
        line.truncate(star);
    }
    return line.split(',');
}

std::optional<Sentence> sentence(const QByteArray& line) {
    const auto f = fields(line);
    if (!f || f->isEmpty() || (*f)[0].size() < 5) return std::nullopt;
    const QByteArray type = (*f)[0].right(3);
    Sentence s;
    if (type == "RMC" && f->size() >= 10) {
        if ((*f)[2] != "A") return std::nullopt;
        const auto t = timeOfDay((*f)[1]);
        const auto lat = degrees((*f)[3], (*f)[4], 90), lon = degrees((*f)[5], (*f)[6], 180);
        const QByteArray& d = (*f)[9];
        if (!t || !lat || !lon || d.size() != 6) return std::nullopt;
        bool ok = false;
        const int dmy = d.toInt(&ok);
        if (!ok) return std::nullopt;
        const int yy = dmy % 100;
        const QDate date(yy < 80 ? 2000 + yy : 1900 + yy, dmy / 100 % 100, dmy / 10000);
        if (!date.isValid()) return std::nullopt;
        s.rmc = true;
        s.dayMs = *t;
        s.latitude = *lat;
        s.longitude = *lon;
        s.date = date;
        return s;
    }
    if (type == "GGA" && f->size() >= 10) {
        if ((*f)[6].isEmpty() || (*f)[6] == "0") return std::nullopt;
        const auto t = timeOfDay((*f)[1]);
        const auto lat = degrees((*f)[2], (*f)[3], 90), lon = degrees((*f)[4], (*f)[5], 180);
        if (!t || !lat || !lon) return std::nullopt;
        s.dayMs = *t;
        s.latitude = *lat;
        s.longitude = *lon;
        if (const auto ele = decimal((*f)[9]); ele && std::abs(*ele) <= 1e5) s.elevation = *ele;
        return s;
    }
    return std::nullopt;
}

} // namespace

TrackReading readNmea(QIODevice& device, int segment, TrackReadControl* control) {
    TrackReading r;
    std::optional<Sentence> current; // the second being read
    std::vector<Sentence> undated;   // fixes before the first date
    std::optional<QDate> lastDate;
    qint64 lastDayMs = 0;
    const auto push = [&](const Sentence& s, QDate date) {
        TrackFix fix;
        fix.utcMs = (date.toJulianDay() - 2440588) * kDayMs + s.dayMs;
        fix.latitude = s.latitude;
        fix.longitude = s.longitude;
        fix.hasElevation = s.elevation.has_value();
        fix.elevation = s.elevation.value_or(0);
        fix.segment = segment;
        r.fixes.push_back(fix);
    };
    const auto flush = [&] {
        if (!current) return;
        Sentence s = *current;
        current.reset();
        if (s.date) {
            // The fixes before the first date are of its day, or of the day before when later.
            for (const Sentence& u : undated)
                push(u, u.dayMs > s.dayMs ? s.date->addDays(-1) : *s.date);
            undated.clear();
        } else if (lastDate) {
            s.date = s.dayMs < lastDayMs ? lastDate->addDays(1) : *lastDate;
        } else {
            undated.push_back(s);
            return;
        }
        lastDate = s.date;
        lastDayMs = s.dayMs;
        push(s, *s.date);
    };
    QByteArray line(kMaxLine + 1, Qt::Uninitialized);
    while (!device.atEnd()) {
        if (control && control->cancel.load()) {
            r.fixes.clear();
            r.error = QStringLiteral("lecture annulée");
            return r;
        }
        const qint64 n = device.readLine(line.data(), line.size());
        if (n <= 0) break;
        if (control) control->bytesRead += n;
        if (n == kMaxLine && line[n - 1] != '\n') {
            // Not a sentence: the rest of the line is skipped.
            char c = 0;
            while (device.getChar(&c) && c != '\n') {
            }
            continue;
        }
        const auto s = sentence(QByteArray(line.constData(), n));
        if (!s) continue;
        if (current && current->dayMs == s->dayMs) {
            // The other sentence of the same second: one fix, with the date of one and the
            // altitude of the other.
            if (s->date) current->date = s->date;
            if (s->elevation) current->elevation = s->elevation;
            continue;
        }
        flush();
        current = s;
    }
    flush();
    return r;
}

} // namespace vantorel
