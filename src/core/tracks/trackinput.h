// SPDX-License-Identifier: GPL-3.0-or-later
// A track file as the XML reader sees it, read through a guard that stops what would cost the
// reader time or memory out of proportion to the file: a document type declaration (entities),
// a tag longer than any a track needs (attribute floods), and a text or comment that never ends.
// It also counts the bytes read and stops when the reading is cancelled.
#pragma once

#include <QIODevice>
#include <QString>
#include <atomic>

namespace vantorel {

inline constexpr qint64 kMaxTrackTagChars = 64 * 1024;    // a tag with its attributes
inline constexpr int kMaxTrackAttributes = 256;           // per element
inline constexpr qint64 kMaxTrackTextChars = 1024 * 1024; // a text, comment or CDATA section

// What a reading shares with whoever waits for it: bytes read so far, and a request to stop.
struct TrackReadControl {
    std::atomic<qint64> bytesRead{0};
    std::atomic<bool> cancel{false};
};

class GuardedTrackInput : public QIODevice {
public:
    // Reads from `source` (already open), which must outlive this device.
    explicit GuardedTrackInput(QIODevice& source, TrackReadControl* control = nullptr);

    bool isSequential() const override { return true; }
    // Why the reading was stopped, in French ("déclaration DOCTYPE refusée"); empty otherwise.
    QString refusal() const { return m_refusal; }
    // The line where the reading was stopped, counted from 1.
    qint64 refusalLine() const { return m_refusalLine; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    enum class State { Text, TagStart, Tag, Comment, CData, Declaration };
    bool scan(char16_t unit);
    bool refuse(const QString& why);

    QIODevice& m_source;
    TrackReadControl* m_control;
    QString m_refusal;
    qint64 m_line = 1;
    qint64 m_refusalLine = 0;
    int m_unitBytes = 0; // 1, or 2 for UTF-16; 0 until the first bytes are seen
    bool m_bigEndian = false;
    int m_pendingByte = -1; // the first byte of a UTF-16 unit split between two reads
    State m_state = State::Text;
    qint64 m_run = 0; // units in the current text, tag, comment or section
    int m_attributes = 0;
    char16_t m_quote = 0;
    QString m_opening; // the first units after '<', to tell a comment or a DOCTYPE
    int m_closing = 0; // how much of "-->" or "]]>" has been seen
};

} // namespace vantorel
