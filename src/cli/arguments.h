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

} // namespace vantorel::cli
