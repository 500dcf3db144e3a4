// SPDX-License-Identifier: GPL-3.0-or-later
// The geotagged copy ("#" + name) and the copy without geotag ("~" + name) of a photo: the
// coordinate fields read as users type them, and the copy written losslessly and atomically.
#pragma once

#include "files/atomicfile.h"
#include "locationedit.h"
#include "metadata/propertyitem.h"

#include <QString>
#include <QVector>
#include <array>
#include <optional>

namespace vantorel {

inline const QString kCoordinatesNotWritten = QStringLiteral("Les coordonnées n'ont pas pu etre écrites !");
inline constexpr QChar kGeotaggedPrefix = u'#';
inline constexpr QChar kErasedPrefix = u'~';

// "Le fichier :\n<path>\nexiste déja.\n\nVoulez-vous l'écraser ?"
QString overwriteQuestion(const QString& target);
// The success text, with the replacement wording when an earlier copy was replaced.
QString copyWrittenMessage(const QString& target, bool replaced);

// Degrees, minutes and seconds as numerator/denominator pairs: d/1, m/10000, 0/1.
using RationalTriple = std::array<quint32, 6>;
// Whole degrees, then minutes rounded to four decimals: 48,12345 gives 48/1 74070/10000 0/1.
// `degrees` is at least 0.
RationalTriple DegreesToRationals(double degrees);

// The magnitude a coordinate field holds: after a leading "-", the number in at most the 10
// characters that follow; otherwise the whole text. Read with the locale's decimal separator.
std::optional<double> coordinateMagnitude(const QString& text);

struct GpsPosition {
    QString latitudeRef;  // "N" or "S"
    QString longitudeRef; // "E" or "W"
    RationalTriple latitude{};
    RationalTriple longitude{};
    QVector<PropertyItem> extraItems; // GPS items the "#" copy also sets (altitude, time stamps...)
};

enum class CoordinateInput {
    Ok,
    Unreadable, // a field is not a number in the user's locale
    OutOfRange, // beyond 90 / 180 degrees, negative after the sign, or not finite
};
struct CoordinateFields {
    CoordinateInput status = CoordinateInput::Unreadable;
    GpsPosition position;
};
// Reads the latitude field (Edit7) and the longitude field (Edit8); both hold text.
CoordinateFields readCoordinateFields(const QString& latitudeText, const QString& longitudeText);

// GPS items 1 to 4 of a position, in the order they are written.
QVector<PropertyItem> gpsPositionItems(const GpsPosition& position);

// The copy's path: the source's folder, then `prefix` and the source's file name.
QString copyPathFor(const QString& source, QChar prefix);

// Whether something has the copy's name (a link that leads nowhere included).
bool copyExists(const QString& target);

struct CopyResult {
    bool ok = false;
    QString error;            // why it failed, for logs and the command line
    bool exists = false;      // failed because a copy took the name meanwhile (never replaced)
    LocationRemovals removed; // what the copy lost
};

// The same position in XMP's form, degrees and decimal minutes then the reference: "48,7.4069N".
QString xmpCoordinate(const RationalTriple& triple, const QString& ref);

// Writes `target` as `source` with GPS items 1 to 4 set to `position` in every Exif segment (and
// in an XMP packet that holds a position), or, when there is none, with every position taken out:
// the photo's and the destination's, in Exif and XMP. Only those segments change; the copy keeps
// the source's permission bits and modification time and takes the target's name only once it
// reads back with the expected items and without a byte of the old positions. `extra` passes test
// hooks to the file writer.
// With `place`, the position's place names are written too (see LocationEdit::place).
CopyResult writeGeotagCopy(const QString& source, const QString& target,
                           const std::optional<GpsPosition>& position, const AtomicWriteOptions& extra = {},
                           const LocationMetadataEdit::Place& place = {});

// The copy without anything that locates the photo: the whole GPS directory, XMP's GPS and place
// properties, IPTC's places.
CopyResult writeCopyWithoutLocation(const QString& source, const QString& target,
                                    const AtomicWriteOptions& extra = {});

// Flushes the copies that writers handed to `batch` (AtomicWriteOptions::batch, with the index of
// each copy's result in `results` as batchKey): each such result takes the outcome of its flush
// and rename.
void settleCopies(DurableBatch& batch, QVector<CopyResult>& results);

} // namespace vantorel
