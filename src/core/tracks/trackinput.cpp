// SPDX-License-Identifier: GPL-3.0-or-later
#include "trackinput.h"

#include <cstring>

namespace vantorel {
namespace {

constexpr qint64 kChunk = 64 * 1024;

bool startsAnyOf(const QString& opening) {
    for (QLatin1StringView known :
         {QLatin1StringView("!--"), QLatin1StringView("![CDATA["), QLatin1StringView("!DOCTYPE")})
        if (known.startsWith(opening, Qt::CaseInsensitive)) return true;
    return false;
}

} // namespace

GuardedTrackInput::GuardedTrackInput(QIODevice& source, TrackReadControl* control)
    : m_source(source), m_control(control) {
    open(QIODevice::ReadOnly);
}

bool GuardedTrackInput::refuse(const QString& why) {
    if (m_refusal.isEmpty()) {
        m_refusal = why;
        m_refusalLine = m_line;
    }
    return false;
}

bool GuardedTrackInput::scan(char16_t unit) {
    if (unit == u'\n') ++m_line;
    switch (m_state) {
    case State::Text:
        if (unit == u'<') {
            m_state = State::TagStart;
            m_opening.clear();
            m_run = 0;
            m_attributes = 0;
            m_quote = 0;
            return true;
        }
        if (++m_run > kMaxTrackTextChars) return refuse(QStringLiteral("texte trop long"));
        return true;
    case State::TagStart:
        if (m_opening.isEmpty() && unit != u'!') {
            m_state = State::Tag;
            return scan(unit);
        }
        m_opening += QChar(unit);
        if (m_opening.compare(QLatin1StringView("!DOCTYPE"), Qt::CaseInsensitive) == 0)
            return refuse(QStringLiteral("déclaration DOCTYPE refusée"));
        if (m_opening == QLatin1StringView("!--")) {
            m_state = State::Comment;
            m_closing = 0;
            m_run = 0;
        } else if (m_opening == QLatin1StringView("![CDATA[")) {
            m_state = State::CData;
            m_closing = 0;
            m_run = 0;
        } else if (!startsAnyOf(m_opening)) {
            m_state = State::Declaration;
            m_run = m_opening.size();
        }
        return true;
    case State::Tag:
    case State::Declaration:
        if (++m_run > kMaxTrackTagChars) return refuse(QStringLiteral("balise trop longue"));
        if (m_quote) {
            if (unit == m_quote) m_quote = 0;
        } else if (unit == u'"' || unit == u'\'') {
            m_quote = unit;
        } else if (unit == u'=' && m_state == State::Tag) {
            if (++m_attributes > kMaxTrackAttributes) return refuse(QStringLiteral("trop d'attributs"));
        } else if (unit == u'>') {
            m_state = State::Text;
            m_run = 0;
        }
        return true;
    case State::Comment:
    case State::CData: {
        if (++m_run > kMaxTrackTextChars)
            return refuse(m_state == State::Comment ? QStringLiteral("commentaire trop long")
                                                    : QStringLiteral("texte trop long"));
        const char16_t mark = m_state == State::Comment ? u'-' : u']';
        if (unit == mark) {
            m_closing = std::min(m_closing + 1, 2);
        } else if (unit == u'>' && m_closing == 2) {
            m_state = State::Text;
            m_run = 0;
        } else {
            m_closing = 0;
        }
        return true;
    }
    }
    return true;
}

qint64 GuardedTrackInput::readData(char* data, qint64 maxSize) {
    if (!m_refusal.isEmpty()) return -1;
    if (m_control && m_control->cancel.load()) {
        refuse(QStringLiteral("lecture annulée"));
        return -1;
    }
    const qint64 n = m_source.read(data, std::min(maxSize, kChunk));
    if (n <= 0) return n;
    if (m_control) m_control->bytesRead += n;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    qint64 i = 0;
    if (m_unitBytes == 0) {
        // UTF-16 shows in its first two bytes: a byte order mark, or the '<' it starts with.
        m_unitBytes = 1;
        if (n >= 2) {
            const int a = bytes[0], b = bytes[1];
            if ((a == 0xFF && b == 0xFE) || (a == '<' && b == 0)) m_unitBytes = 2;
            if ((a == 0xFE && b == 0xFF) || (a == 0 && b == '<')) m_unitBytes = 2, m_bigEndian = true;
        }
    }
    if (m_unitBytes == 1) {
        while (i < n) {
            if (m_state == State::Text) {
                // Most bytes are text between tags: skipped to the next '<' at once.
                const auto* open =
                    static_cast<const unsigned char*>(std::memchr(bytes + i, '<', size_t(n - i)));
                const qint64 to = open ? open - bytes : n;
                for (qint64 k = i; k < to; ++k)
                    if (bytes[k] == '\n') ++m_line;
                m_run += to - i;
                if (m_run > kMaxTrackTextChars) {
                    refuse(QStringLiteral("texte trop long"));
                    return -1;
                }
                i = to;
                if (i == n) break;
            }
            if (!scan(bytes[i++])) return -1;
        }
        return n;
    }
    for (; i < n; ++i) {
        if (m_pendingByte < 0) {
            m_pendingByte = bytes[i];
            continue;
        }
        const char16_t unit =
            m_bigEndian ? char16_t(m_pendingByte << 8 | bytes[i]) : char16_t(bytes[i] << 8 | m_pendingByte);
        m_pendingByte = -1;
        if (!scan(unit)) return -1;
    }
    return n;
}

} // namespace vantorel
