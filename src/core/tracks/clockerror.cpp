// SPDX-License-Identifier: GPL-3.0-or-later
#include "clockerror.h"

#include <QRegularExpression>

#include <cmath>

namespace vantorel {

std::optional<qint64> parseClockError(const QString& text) {
    QString rest = text.trimmed();
    bool negative = false;
    if (rest.startsWith(u'+') || rest.startsWith(u'-')) {
        negative = rest.startsWith(u'-');
        rest = rest.mid(1).trimmed();
    }
    static const QRegularExpression whole(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression lastPart(QStringLiteral("^[0-9]+([.,][0-9]*)?$"));
    qint64 days = 0;
    const qsizetype blank = rest.indexOf(u' ');
    if (blank >= 0) {
        if (!whole.match(rest.left(blank)).hasMatch()) return std::nullopt;
        days = rest.left(blank).toLongLong();
        rest = rest.mid(blank + 1).trimmed();
    }
    const QStringList parts = rest.split(u':');
    if (parts.size() > 3 || (blank >= 0 && parts.size() != 3)) return std::nullopt;
    // The leading unit may be as long as it likes; those after it stay below 60, and hours after
    // days below 24.
    double seconds = 0;
    for (int i = 0; i < parts.size(); ++i) {
        const bool last = i == parts.size() - 1;
        if (!(last ? lastPart : whole).match(parts[i]).hasMatch() || parts[i].size() > 12)
            return std::nullopt;
        const double value = QString(parts[i]).replace(u',', u'.').toDouble();
        if ((i > 0 && value >= 60) || (i == 0 && blank >= 0 && value >= 24)) return std::nullopt;
        seconds = seconds * 60 + value;
    }
    const double total = double(days) * 86400 + seconds;
    if (total > 1e12) return std::nullopt;
    const qint64 ms = qint64(std::llround(total * 1000));
    return negative ? -ms : ms;
}

QString formatClockError(qint64 ms) {
    const qint64 magnitude = ms < 0 ? -ms : ms;
    const qint64 days = magnitude / 86400000;
    QString text = ms < 0 ? QStringLiteral("-") : QStringLiteral("+");
    if (days) text += QString::number(days) + u' ';
    text += QStringLiteral("%1:%2:%3")
                .arg(magnitude / 3600000 % 24, days ? 2 : 1, 10, QLatin1Char('0'))
                .arg(magnitude / 60000 % 60, 2, 10, QLatin1Char('0'))
                .arg(magnitude / 1000 % 60, 2, 10, QLatin1Char('0'));
    if (magnitude % 1000) text += QStringLiteral(".%1").arg(magnitude % 1000, 3, 10, QLatin1Char('0'));
    return text;
}

std::optional<qint64> clockErrorFromClockPhoto(const PhotoTimeReading& photo,
                                               const CorrelationSettings& settings, QTime shown,
                                               bool shownInUtc) {
    CorrelationSettings exact = settings;
    exact.clockErrorMs = 0;
    const auto cameraUtc = photoUtcMs(photo, exact);
    if (!cameraUtc || !shown.isValid()) return std::nullopt;
    // The shown time on the photo's day, the day before or the day after: the nearest wins.
    constexpr qint64 day = 86400000;
    // The day's start below the time, before 1970 too (division rounds towards zero).
    const qint64 time = shownInUtc ? *cameraUtc : photo.cameraMs;
    const qint64 dayStart = (time >= 0 ? time / day : -((-time + day - 1) / day)) * day;
    std::optional<qint64> best;
    for (qint64 d = -1; d <= 1; ++d) {
        const qint64 wallClock = dayStart + d * day + shown.msecsSinceStartOfDay();
        qint64 shownUtc = wallClock;
        if (!shownInUtc) {
            PhotoTimeReading clock = photo;
            clock.cameraMs = wallClock;
            shownUtc = *photoUtcMs(clock, exact);
        }
        const qint64 error = *cameraUtc - shownUtc;
        if (!best || std::llabs(error) < std::llabs(*best)) best = error;
    }
    return best;
}

} // namespace vantorel
