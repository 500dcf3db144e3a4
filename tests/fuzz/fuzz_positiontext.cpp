// SPDX-License-Identifier: GPL-3.0-or-later
// The texts a user types or pastes: a position (pairs, letters, degrees-minutes-seconds, geo: URIs,
// map links) and a camera's clock error. A position read is on the globe and reads back the same
// from the texts the program writes for it; a refusal says why. A clock error read is bounded and
// reads back from its written form. The clock error worked out from a photo of a clock (the
// photo's time and the clock's, taken from the input's last bytes) is within half a day and,
// once applied, gives the photo the time the clock showed.
#include "fuzzinput.h"
#include "text/positiontext.h"
#include "tracks/clockerror.h"
#include "tracks/correlation.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

using vantorel::fuzz::fail;

constexpr qint64 kDayMs = 86400000;

// The shortest fixed-point text that reads back to the same double.
QString fixedText(double value) {
    char buffer[400];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (end.ec != std::errc()) fail("to_chars");
    return QString::fromLatin1(buffer, end.ptr - buffer);
}

bool sameReading(const vantorel::PositionReading& a, const vantorel::PositionReading& b) {
    return a.ok == b.ok && a.latitude == b.latitude && a.longitude == b.longitude && a.reason == b.reason;
}

void checkPosition(const QString& text) {
    const vantorel::PositionReading r = vantorel::readPositionText(text);
    if (!r.ok) {
        if (r.reason.isEmpty()) fail("a refusal without its reason");
        if (r.latitude != 0 || r.longitude != 0) fail("a refusal with a position");
    } else {
        if (!r.reason.isEmpty()) fail("a position with a reason");
        if (!std::isfinite(r.latitude) || std::abs(r.latitude) > 90) fail("latitude off the globe");
        if (!std::isfinite(r.longitude) || std::abs(r.longitude) > 180) fail("longitude off the globe");
        if (std::signbit(r.latitude) && r.latitude == 0) fail("-0 latitude");
        // The texts the program writes for a position (clipboard, links) read back exactly.
        const QString latitude = fixedText(r.latitude), longitude = fixedText(r.longitude);
        for (const QString& written :
             {vantorel::pointPairText(latitude, longitude), vantorel::geoUriText(latitude, longitude)}) {
            const vantorel::PositionReading back = vantorel::readPositionText(written);
            if (!back.ok || back.latitude != r.latitude || back.longitude != r.longitude)
                fail("a written position does not read back");
        }
    }
    // Blanks and line breaks around the text change nothing (within the length limit).
    if (text.size() + 4 <= 2000 &&
        !sameReading(r, vantorel::readPositionText(QStringLiteral(" \n") + text + QStringLiteral("\t "))))
        fail("blanks around the text change its reading");
}

void checkClockError(const QString& text) {
    const auto ms = vantorel::parseClockError(text);
    if (!ms) return;
    if (std::llabs(*ms) > 1000LL * 1000 * 1000 * 1000 * 1000) fail("clock error beyond 10^12 s");
    const QString written = vantorel::formatClockError(*ms);
    const auto back = vantorel::parseClockError(written);
    if (!back || *back != *ms) fail("a written clock error does not read back");
}

template <typename T> T tail(const uint8_t* data, size_t size, size_t fromEnd) {
    T value{};
    if (size >= fromEnd) std::memcpy(&value, data + size - fromEnd, sizeof value);
    return value;
}

void checkClockPhoto(const uint8_t* data, size_t size) {
    // The photo's camera time (years 1900 to 2100), its offset (none, or within ±14 h), the
    // time the clock shows and whether it shows UTC, from the last 16 bytes.
    vantorel::PhotoTimeReading photo;
    photo.readable = true;
    photo.source = vantorel::PhotoTimeSource::Original;
    constexpr qint64 k1900 = -2208988800000LL, k2100 = 4102444800000LL;
    photo.cameraMs = k1900 + qint64(tail<quint64>(data, size, 16) % quint64(k2100 - k1900));
    const qint16 offset = tail<qint16>(data, size, 8);
    if (offset % 2) photo.offsetSeconds = int(offset / 2 % (14 * 60)) * 60;
    const QTime shown = QTime::fromMSecsSinceStartOfDay(int(tail<quint32>(data, size, 6) % kDayMs));
    const bool shownInUtc = tail<quint8>(data, size, 2) & 1;
    vantorel::CorrelationSettings settings;
    settings.zone = QTimeZone::utc();
    const auto error = vantorel::clockErrorFromClockPhoto(photo, settings, shown, shownInUtc);
    if (!error) fail("no clock error for a photo with a time");
    if (std::llabs(*error) > kDayMs / 2) fail("clock error beyond half a day");
    // Applied, the error gives the photo the time the clock showed: in UTC, or on the photo's clock.
    settings.clockErrorMs = *error;
    const qint64 corrected = shownInUtc ? *vantorel::photoUtcMs(photo, settings) : photo.cameraMs - *error;
    if (((corrected % kDayMs) + kDayMs) % kDayMs != shown.msecsSinceStartOfDay())
        fail("the clock error does not give the shown time");
    // The error as the user would type it reads back.
    const auto typed = vantorel::parseClockError(vantorel::formatClockError(*error));
    if (!typed || *typed != *error) fail("the worked-out clock error does not read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)vantorel::fuzz::inputPath("txt"); // quiets Qt's messages
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    checkPosition(text);
    checkClockError(text);
    checkClockPhoto(data, size);
    return 0;
}
