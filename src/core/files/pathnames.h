// SPDX-License-Identifier: GPL-3.0-or-later
// File names as the system stores them (bytes) and as the program holds them (QString), without
// loss: a name that is not valid UTF-8 (Latin-1 "été" as e9 74 e9) keeps every byte. Each byte
// that cannot be read as UTF-8 is held as one private-use character U+EF80 + (byte - 0x80) and
// written back as that byte. Every name given to the system goes through encodePath.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace vantorel {

inline constexpr char16_t kFirstByteCharacter = 0xEF80; // stands for byte 0x80
inline constexpr char16_t kLastByteCharacter = 0xEFFF;  // stands for byte 0xFF

// True for the characters that stand for a byte of a name that is not UTF-8.
constexpr bool isByteCharacter(char16_t c) {
    return c >= kFirstByteCharacter && c <= kLastByteCharacter;
}

// A name from the system: valid UTF-8 as its characters, every other byte as its private-use
// character (a valid sequence for one of those characters too, so that the mapping goes back).
QString decodePath(const QByteArray& bytes);

// The bytes of a name for the system: UTF-8, the private-use characters as their bytes.
QByteArray encodePath(const QString& path);

// The local file a URL names (a drop, a file manager), its bytes kept: "%E9" stays byte e9.
// Empty when the URL is not a local file.
QString localPathOfUrl(const QUrl& url);

// A name that came through a decoding that lost its bytes (Qt's own dialogs show a byte that is
// not UTF-8 as U+FFFD): when no such file exists, the one entry of its folder whose lossy name
// is the same, with its bytes kept. The path unchanged when there is none or several.
QString recoverLossyPath(const QString& path);

} // namespace vantorel
