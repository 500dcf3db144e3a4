// SPDX-License-Identifier: GPL-3.0-or-later
// The words of the command line after the command, decoded one at a time as a command reads them.
// The system keeps the bytes of every word for the whole run; a list of a hundred thousand photos
// is not held a second time as text unless a command asks for all of it (toList).
#pragma once

#include "files/pathnames.h"

#include <QByteArray>
#include <QStringList>
#include <cstring>

namespace vantorel::cli {

class Arguments {
public:
    Arguments() = default;
    Arguments(char** words, int count) : m_words(words), m_count(count < 0 ? 0 : count) {}

    qsizetype size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    // Taken from the bytes: Qt's own decoding would lose a name that is not UTF-8.
    QString at(qsizetype i) const {
        return decodePath(QByteArray::fromRawData(m_words[i], qsizetype(std::strlen(m_words[i]))));
    }
    // The words from `first` on.
    Arguments from(qsizetype first) const {
        if (first >= m_count) return {};
        return Arguments(m_words + first, int(m_count - first));
    }
    // Without a "--" in front: for a command that takes no option, every word after it is a photo.
    Arguments afterEndOfOptions() const {
        return m_count > 0 && std::strcmp(m_words[0], "--") == 0 ? from(1) : *this;
    }
    QStringList toList() const {
        QStringList list;
        list.reserve(m_count);
        for (qsizetype i = 0; i < m_count; ++i)
            list << at(i);
        return list;
    }

private:
    char** m_words = nullptr;
    qsizetype m_count = 0;
};

// "--" ends the options: every word after it is a photo (or a position), whatever it looks like.
inline const QString kEndOfOptions = QStringLiteral("--");

// Where `option` is among the options (before any "--"); -1 when it is not.
inline qsizetype optionIndex(const QStringList& words, const QString& option) {
    const qsizetype end = words.indexOf(kEndOfOptions);
    const qsizetype at = words.indexOf(option);
    return end >= 0 && at > end ? -1 : at;
}

// Takes every `option` out of the options (before any "--"); whether there was one.
inline bool takeOption(QStringList& words, const QString& option) {
    bool taken = false;
    for (qsizetype at; (at = optionIndex(words, option)) >= 0; taken = true)
        words.removeAt(at);
    return taken;
}

// Once the options are read: the "--" that ended them goes.
inline void dropEndOfOptions(QStringList& words) {
    words.removeOne(kEndOfOptions);
}

} // namespace vantorel::cli
