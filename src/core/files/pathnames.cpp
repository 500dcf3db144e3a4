// SPDX-License-Identifier: GPL-3.0-or-later
#include "pathnames.h"

#include <QFile>

#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>

namespace vantorel {
namespace {

// Length of the valid UTF-8 sequence at `i` and its code point; 0 when the bytes there are not one
// (overlong forms, surrogates and values above U+10FFFF included).
int utf8Sequence(const uchar* d, qsizetype size, qsizetype i, char32_t& cp) {
    const uchar b = d[i];
    int len;
    char32_t min;
    if (b < 0x80) {
        cp = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        len = 2, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4, cp = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > size) return 0;
    for (int k = 1; k < len; ++k) {
        if ((d[i + k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (d[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool exists(const QString& path) {
    struct stat st {};
    return ::lstat(encodePath(path).constData(), &st) == 0;
}

} // namespace

QString decodePath(const QByteArray& bytes) {
    const auto* d = reinterpret_cast<const uchar*>(bytes.constData());
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const int len = utf8Sequence(d, bytes.size(), i, cp);
        if (len > 0 && !(cp <= 0xFFFF && isByteCharacter(char16_t(cp)))) {
            if (QChar::requiresSurrogates(cp)) {
                out += QChar(QChar::highSurrogate(cp));
                out += QChar(QChar::lowSurrogate(cp));
            } else {
                out += QChar(char16_t(cp));
            }
            i += len;
            continue;
        }
        // Not UTF-8, or a private-use character that would read back as a byte: its bytes one by one.
        for (int k = 0; k < std::max(len, 1); ++k, ++i)
            out += QChar(char16_t(kFirstByteCharacter + (d[i] - 0x80)));
    }
    return out;
}

QByteArray encodePath(const QString& path) {
    if (std::none_of(path.begin(), path.end(), [](QChar c) { return isByteCharacter(c.unicode()); }))
        return path.toUtf8();
    QByteArray out;
    out.reserve(path.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path[i].unicode();
        if (!isByteCharacter(c)) continue;
        out += QStringView(path).mid(runStart, i - runStart).toUtf8();
        out += char(0x80 + (c - kFirstByteCharacter));
        runStart = i + 1;
    }
    out += QStringView(path).mid(runStart).toUtf8();
    return out;
}

QString localPathOfUrl(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    if (!url.host().isEmpty()) return url.toLocalFile(); // a network share: left to Qt
    // Qt keeps a percent-encoded byte that is not UTF-8 as "%E9"; its decoded form would lose it.
    return decodePath(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QString recoverLossyPath(const QString& path) {
    if (!path.contains(QChar::ReplacementCharacter) || exists(path)) return path;
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) return path;
    const QString folder = slash == 0 ? QStringLiteral("/") : recoverLossyPath(path.left(slash));
    const QString name = path.mid(slash + 1);
    DIR* dir = ::opendir(encodePath(folder).constData());
    if (!dir) return path;
    QString found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (QString::fromUtf8(raw) == name) {
            found = decodePath(raw);
            ++matches;
        }
    }
    ::closedir(dir);
    if (matches != 1) return path;
    return (folder.endsWith(u'/') ? folder : folder + u'/') + found;
}

} // namespace vantorel
