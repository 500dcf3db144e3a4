// SPDX-License-Identifier: GPL-3.0-or-later
// What every fuzz target shares: the readers take a path, so each input is written to one file of
// the process's own, and Qt's and exiv2's chatter about damaged files is silenced.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QLoggingCategory>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace vantorel::fuzz {

// The file's name ends with `suffix` (a target uses one suffix), as the readers look at it.
inline const QString& inputPath(const char* suffix = "jpg") {
    static const QString path = [suffix] {
        QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
        const QByteArray dir = qEnvironmentVariableIsSet("TMPDIR") ? qgetenv("TMPDIR") : QByteArray("/tmp");
        return QString::fromLocal8Bit(dir) +
               QStringLiteral("/vantorel-fuzz-%1.%2").arg(::getpid()).arg(QLatin1StringView(suffix));
    }();
    return path;
}

// The input as the file the readers open.
inline const QString& writeInput(const uint8_t* data, size_t size, const char* suffix = "jpg") {
    QFile file(inputPath(suffix));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    return inputPath(suffix);
}

// A broken invariant: says which on standard error and stops the run, so libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
}

// Pictures declaring more pixels than this are left out of the decoder targets: a mutated header
// claiming 22600 x 22600 costs seconds and a gigabyte per run under the sanitizers, which would
// turn every run into a timeout. The decode budget has its own tests and benchmark.
inline constexpr qint64 kMaxFuzzedPixels = 16LL * 1000 * 1000;

} // namespace vantorel::fuzz
