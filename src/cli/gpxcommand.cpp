// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "clipoitable.h"
#include "export/gpxwriter.h"
#include "files/atomicfile.h"
#include "metadata/unreadablephoto.h"

#include <QDir>
#include <cstdio>
#include <optional>

namespace vantorel::cli {
namespace {

// Where the file goes, a piece at a time: standard output, or a temporary file beside the target
// that takes its name only once complete (an existing file stays as it was until then). Nothing is
// opened or printed before the first piece: a run that writes none leaves no trace.
class GpxOutput {
public:
    explicit GpxOutput(QString target) : m_target(std::move(target)) {}

    bool started() const { return m_started; }
    // After a failure the pieces are dropped; finish() tells it.
    void write(const QByteArray& bytes) {
        m_started = true;
        if (m_failed) return;
        if (m_target.isEmpty()) {
            // The standard library's buffer gathers the pieces.
            m_failed =
                std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size());
            return;
        }
        // Gathered, so that a waypoint is not a system call of its own.
        m_pending += bytes;
        if (m_pending.size() >= kPendingBytes) writePending();
    }
    // Before a message on standard error, so that both read in order on one terminal.
    void flushStandardOutput() {
        if (m_target.isEmpty()) std::fflush(stdout);
    }
    // The exit code of the file's write: 0, or 3 with its message on `err`.
    int finish(QTextStream& err) {
        // Standard output is checked once the command is over, as for every command.
        if (m_target.isEmpty()) return 0;
        writePending();
        if (!m_failed && m_file && m_file->commit()) return 0;
        err << QStringLiteral("Impossible de creer le fichier GPX : ")
            << escapeCell(m_file ? m_file->error() : QString()) << u'\n';
        return 3;
    }

private:
    static constexpr qsizetype kPendingBytes = 64 * 1024;

    // A failed write drops the temporary file (AtomicFileWriter) and keeps why.
    void writePending() {
        if (m_failed || m_pending.isEmpty()) return;
        if (!m_file) {
            m_file.emplace(m_target);
            m_failed = !m_file->open();
        }
        if (!m_failed) m_failed = !m_file->write(m_pending);
        m_pending.clear();
    }

    QString m_target;
    std::optional<AtomicFileWriter> m_file;
    QByteArray m_pending;
    bool m_started = false;
    bool m_failed = false;
};

} // namespace

int runGpx(const Arguments& args, QTextStream& out, QTextStream& err) {
    Arguments photos = args;
    QString target;
    if (!photos.isEmpty() && photos.at(0) == QLatin1String("-o")) {
        if (photos.size() < 2 || photos.at(1).isEmpty()) {
            err << QStringLiteral("gpx : -o demande un nom de fichier\n");
            return 2;
        }
        target = commandLinePath(QDir::current(), photos.at(1));
        photos = photos.from(2);
    }
    if (!photos.isEmpty() && photos.at(0) == kEndOfOptions) photos = photos.from(1);
    if (photos.isEmpty()) {
        err << QStringLiteral("gpx : aucune photo indiquée\n");
        return 2;
    }
    out.flush();
    err.flush();

    // Each waypoint is written as its photo is read; the file's start goes out with the first row,
    // so that no geotagged photo means nothing written, as the window refuses it.
    GpxOutput output(target);
    QString time; // of the photo whose row is being written
    QByteArray piece;
    bool anyUnreadable = false;
    streamArgumentPoiRows(
        photos,
        [&](const StringGrid& SG0, int) {
            piece.clear();
            if (!output.started()) piece += gpxFileStart();
            appendGpxWaypoint(piece, SG0, 1, time);
            output.write(piece);
        },
        [&](const UnreadablePhoto& photo) {
            // A folder, a missing or unreadable file is named on standard error; the others are written.
            anyUnreadable = true;
            output.flushStandardOutput();
            err << unreadablePhotoMessage(photo.path, photo.error) << u'\n';
            err.flush();
        },
        [&](int, const ImageProperties& photo) { time = gpsUtcTime(photo); });
    if (!output.started()) {
        // An existing file stays as it was.
        err << kGpxNoGeotagged << u'\n';
        return 1;
    }
    output.write(gpxFileEnd());
    if (const int code = output.finish(err); code != 0) return code;
    return anyUnreadable ? kExitUnreadable : 0;
}

} // namespace vantorel::cli
