// SPDX-License-Identifier: GPL-3.0-or-later
// PNG: Exif in the eXIf chunk (a TIFF block), XMP in the iTXt chunk "XML:com.adobe.xmp"; older
// writers left both hex-encoded in tEXt/zTXt/iTXt chunks "Raw profile type exif", "... APP1" or
// "... xmp". A copy replaces, adds or removes whole chunks before the first IDAT; every other
// chunk stays byte for byte.
#include "photocontainer.h"

#include <zlib.h>

#include <algorithm>

namespace vantorel {

namespace {

constexpr qint64 kSignatureSize = 8;
constexpr qint64 kMaxChunks = 100000;
const QByteArray kXmpKeyword("XML:com.adobe.xmp");

quint32 be32(const QByteArray& b, qint64 at) {
    return (quint32(uchar(b[at])) << 24) | (quint32(uchar(b[at + 1])) << 16) |
           (quint32(uchar(b[at + 2])) << 8) | quint32(uchar(b[at + 3]));
}

struct Chunk {
    qint64 offset = 0; // of its length field
    quint32 length = 0;
    QByteArray type;
    qint64 dataOffset() const { return offset + 8; }
    qint64 end() const { return offset + 12 + length; }
};

// The chunks up to IEND (or the end of the file); false when one runs beyond the file or the
// signature is missing.
bool walkChunks(const ByteSource& source, QVector<Chunk>& out) {
    if (source.read(0, kSignatureSize) != QByteArray("\x89PNG\r\n\x1A\n", 8)) return false;
    qint64 at = kSignatureSize;
    while (at < source.size() && out.size() < kMaxChunks) {
        const QByteArray head = source.read(at, 8);
        if (head.size() != 8) return false;
        Chunk c;
        c.offset = at;
        c.length = be32(head, 0);
        c.type = head.mid(4, 4);
        if (c.length > 0x7FFFFFFFu || c.end() > source.size()) return false;
        out.append(c);
        at = c.end();
        if (c.type == "IEND") break;
    }
    return !out.isEmpty() && out.front().type == "IHDR";
}

bool isTiffHeader(const QByteArray& b) {
    return b.startsWith(QByteArray("II*\0", 4)) || b.startsWith(QByteArray("MM\0*", 4));
}

// Whether a text chunk's keyword is an old-style hex profile of Exif or XMP.
bool isRawProfile(const QByteArray& keyword) {
    const QByteArray k = keyword.toLower();
    return k == "raw profile type exif" || k == "raw profile type app1" || k == "raw profile type xmp";
}

quint32 crc32Of(const QByteArray& bytes) {
    return quint32(::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.constData()),
                           uInt(bytes.size())));
}

// A chunk: length, type, data, CRC of the type and data.
QByteArray chunkBytes(const QByteArray& type, const QByteArray& data) {
    const auto be = [](quint32 v) {
        const char b[4] = {char(v >> 24), char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)};
        return QByteArray(b, 4);
    };
    return be(quint32(data.size())) + type + data + be(crc32Of(type + data));
}

// zlib data inflated, at most kMaxInflated bytes; nothing when damaged or larger.
constexpr qint64 kMaxInflated = 64 << 20;
std::optional<QByteArray> inflated(const QByteArray& data) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    QByteArray out;
    int status = Z_OK;
    while (status == Z_OK) {
        const qint64 have = out.size();
        if (have >= kMaxInflated) break;
        out.resize(std::min(have + 65536, kMaxInflated));
        z.next_out = reinterpret_cast<Bytef*>(out.data() + have);
        z.avail_out = uInt(out.size() - have);
        status = ::inflate(&z, Z_NO_FLUSH);
        out.resize(out.size() - z.avail_out);
        if (status == Z_BUF_ERROR && z.avail_in == 0) break; // the data ends before its stream does
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END) return std::nullopt;
    return out;
}

// A text chunk's keyword and text (inflated when compressed); `readable` false when the text
// cannot be had. For iTXt, `header` is what precedes the text, written back uncompressed.
struct TextChunk {
    QByteArray keyword;
    QByteArray header;
    QByteArray text;
    bool readable = true;
};

std::optional<TextChunk> internationalText(const QByteArray& d) {
    // keyword, 0, compression flag, method, language, 0, translated keyword, 0, text
    const qint64 end = d.indexOf('\0');
    if (end <= 0 || end + 3 > d.size()) return std::nullopt;
    TextChunk t;
    t.keyword = d.left(end);
    const bool compressed = d[end + 1] != 0;
    const qint64 language = d.indexOf('\0', end + 3);
    const qint64 translated = language < 0 ? -1 : d.indexOf('\0', language + 1);
    if (translated < 0) {
        t.readable = false;
        return t;
    }
    t.header = t.keyword + QByteArray(3, '\0') + d.mid(end + 3, translated + 1 - (end + 3));
    t.header[end + 1] = 0; // written uncompressed
    const QByteArray text = d.mid(translated + 1);
    if (!compressed) {
        t.text = text;
    } else if (const auto plain = inflated(text)) {
        t.text = *plain;
    } else {
        t.readable = false;
    }
    return t;
}

std::optional<TextChunk> textChunk(const QByteArray& type, const QByteArray& d) {
    if (type == "iTXt") return internationalText(d);
    const qint64 end = d.indexOf('\0');
    if (end <= 0) return std::nullopt;
    TextChunk t;
    t.keyword = d.left(end);
    if (type == "tEXt") {
        t.text = d.mid(end + 1);
    } else if (const auto plain = end + 2 <= d.size() ? inflated(d.mid(end + 2)) : std::nullopt) {
        t.text = *plain;
    } else {
        t.readable = false;
    }
    return t;
}

// An old-style profile: "\n<name>\n<spaces><length>\n<hex digits over several lines>".
std::optional<QByteArray> rawProfile(const QByteArray& text) {
    qint64 at = 0;
    while (at < text.size() && text[at] == '\n')
        ++at;
    at = text.indexOf('\n', at);
    if (at < 0) return std::nullopt;
    while (at < text.size() && (text[at] == '\n' || text[at] == ' '))
        ++at;
    qint64 length = 0;
    const qint64 digits = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - digits < 10)
        length = length * 10 + (text[at++] - '0');
    if (at == digits || length <= 0 || length > text.size() / 2) return std::nullopt;
    QByteArray out;
    out.reserve(length);
    int high = -1;
    for (; at < text.size() && out.size() < length; ++at) {
        const char c = text[at];
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c == '\n' || c == '\r' || c == ' ' || c == '\t')
            continue;
        else
            return std::nullopt;
        if (high < 0) {
            high = v;
        } else {
            out.append(char(high * 16 + v));
            high = -1;
        }
    }
    if (out.size() != length) return std::nullopt;
    return out;
}

// A text chunk's keyword naming a GPS item ("exif:GPSLatitude", "xmp:GPSLongitude", "GPSInfo").
bool statesPlace(const QByteArray& keyword) {
    const QByteArray k = keyword.toLower();
    const qint64 colon = k.lastIndexOf(':');
    const QByteArray local = k.mid(colon + 1);
    return local.startsWith("gps") || local.contains("latitude") || local.contains("longitude");
}

class PngContainer final : public PhotoContainer {
public:
    ContainerKind kind() const override { return ContainerKind::Png; }

    ContainerLayout layout(const ByteSource& source) const override {
        ContainerLayout layout;
        QVector<Chunk> chunks;
        if (!walkChunks(source, chunks)) {
            layout.error = QStringLiteral("structure PNG illisible");
            return layout;
        }
        for (const Chunk& c : chunks) {
            if (c.type == "IHDR" && c.length >= 8) {
                const QByteArray d = source.read(c.dataOffset(), 8);
                const quint32 w = be32(d, 0), h = be32(d, 4);
                if (w > 0 && h > 0 && w <= 0x7FFFFFFF && h <= 0x7FFFFFFF)
                    layout.pixelSize = QSize(int(w), int(h));
            } else if (c.type == "eXIf" && c.length >= 8) {
                // Some writers keep the JPEG segment's "Exif\0\0" before the TIFF header.
                const QByteArray start = source.read(c.dataOffset(), 14);
                if (isTiffHeader(start))
                    layout.exif.append({c.dataOffset(), c.length});
                else if (start.startsWith(QByteArray("Exif\0\0", 6)) && isTiffHeader(start.mid(6)))
                    layout.exif.append({c.dataOffset() + 6, c.length - 6});
            } else if (c.type == "iTXt" && c.length > qint64(kXmpKeyword.size()) + 5) {
                // keyword, 0, compression flag, method, language, 0, translated keyword, 0, text
                const QByteArray d = source.read(c.dataOffset(), std::min<qint64>(c.length, 1024));
                if (!d.startsWith(kXmpKeyword + '\0')) continue;
                qint64 at = kXmpKeyword.size() + 1;
                if (at + 2 > d.size() || d[at] != 0) continue; // compressed: read by the full reader
                at += 2;
                const qint64 language = d.indexOf('\0', at);
                const qint64 translated = language < 0 ? -1 : d.indexOf('\0', language + 1);
                if (translated < 0) continue;
                layout.xmp.append({c.dataOffset() + translated + 1, c.length - (translated + 1)});
            }
        }
        return layout;
    }

    ContainerPlan plan(const QByteArray& file, const BlockEditor& editor) const override {
        ContainerPlan plan;
        const auto fail = [&](const QString& why) {
            plan.error = why;
            plan.changes.clear();
            return plan;
        };
        QVector<Chunk> chunks;
        if (!walkChunks(MemorySource(file), chunks)) return fail(QStringLiteral("structure PNG illisible"));
        const auto idat =
            std::find_if(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.type == "IDAT"; });
        if (idat == chunks.end()) return fail(QStringLiteral("structure PNG illisible"));
        const qint64 firstIdat = idat->offset;
        const auto dataOf = [&](const Chunk& c) { return file.mid(c.dataOffset(), c.length); };
        const auto remove = [&](const Chunk& c) { plan.changes.append({c.offset, c.end() - c.offset, {}}); };
        QByteArray before; // chunks inserted before the first IDAT

        // Exif: each eXIf chunk edited, before the first IDAT (where readers look for it).
        bool hasExif = false, hasXmp = false;
        for (const Chunk& c : chunks) {
            hasExif = hasExif || c.type == "eXIf";
            if (c.type == "iTXt" && dataOf(c).startsWith(kXmpKeyword + '\0')) hasXmp = true;
        }
        QString error;
        for (const Chunk& c : chunks) {
            if (c.type != "eXIf") continue;
            const QByteArray data = dataOf(c);
            const QByteArray prefix =
                data.startsWith(QByteArray("Exif\0\0", 6)) ? data.left(6) : QByteArray();
            const QByteArray tiff = data.mid(prefix.size());
            if (!isTiffHeader(tiff)) return fail(QStringLiteral("bloc Exif illisible"));
            if (!editor.exif) continue;
            const auto edited = editor.exif(tiff, error);
            if (!edited) return fail(error);
            if (*edited == tiff) continue;
            if (edited->isEmpty()) {
                remove(c);
            } else if (c.offset < firstIdat) {
                plan.changes.append({c.offset, c.end() - c.offset, chunkBytes("eXIf", prefix + *edited)});
            } else {
                remove(c);
                before += chunkBytes("eXIf", prefix + *edited);
            }
        }

        // XMP: each iTXt packet edited; a compressed one is written back uncompressed.
        for (const Chunk& c : chunks) {
            if (c.type != "iTXt" || !editor.xmp) continue;
            const auto text = internationalText(dataOf(c));
            if (!text || text->keyword != kXmpKeyword) continue;
            if (!text->readable) return fail(QStringLiteral("paquet XMP illisible"));
            const auto edited = editor.xmp(text->text, error);
            if (!edited) return fail(error);
            if (*edited == text->text) continue;
            plan.changes.append({c.offset, c.end() - c.offset, chunkBytes("iTXt", text->header + *edited)});
        }

        // The old-style hex profiles: one an edit changes goes, its edited block taking the
        // standard chunk's place when there is none.
        for (const Chunk& c : chunks) {
            if (c.type != "tEXt" && c.type != "zTXt" && c.type != "iTXt") continue;
            const auto text = textChunk(c.type, dataOf(c));
            if (!text) continue;
            if (statesPlace(text->keyword)) {
                // A converter's copy of a GPS item as text ("exif:GPSLatitude"): never kept
                // beside a position written or erased.
                remove(c);
                continue;
            }
            if (!isRawProfile(text->keyword)) continue;
            const bool xmp = text->keyword.toLower().endsWith("xmp");
            const auto profile = text->readable ? rawProfile(text->text) : std::nullopt;
            if (!profile)
                return fail(QStringLiteral("profil %1 illisible").arg(QString::fromLatin1(text->keyword)));
            if (xmp) {
                if (!editor.xmp) continue;
                const auto edited = editor.xmp(*profile, error);
                if (!edited) return fail(error);
                if (*edited == *profile) continue;
                remove(c);
                if (!hasXmp) {
                    before += chunkBytes("iTXt", kXmpKeyword + QByteArray(5, '\0') + *edited);
                    hasXmp = true;
                }
            } else {
                const QByteArray tiff =
                    profile->startsWith(QByteArray("Exif\0\0", 6)) ? profile->mid(6) : *profile;
                if (!isTiffHeader(tiff))
                    return fail(
                        QStringLiteral("profil %1 illisible").arg(QString::fromLatin1(text->keyword)));
                if (!editor.exif) continue;
                const auto edited = editor.exif(tiff, error);
                if (!edited) return fail(error);
                if (*edited == tiff) continue;
                remove(c);
                if (!hasExif && !edited->isEmpty()) {
                    before.prepend(chunkBytes("eXIf", *edited));
                    hasExif = true;
                }
            }
        }

        // A picture without Exif is given a block when the edit makes one.
        if (!hasExif && editor.exif) {
            const auto created = editor.exif(QByteArray(), error);
            if (!created) return fail(error);
            if (!created->isEmpty()) before.prepend(chunkBytes("eXIf", *created));
        }
        if (!before.isEmpty()) plan.changes.append({firstIdat, 0, before});
        std::sort(plan.changes.begin(), plan.changes.end(),
                  [](const SegmentChange& a, const SegmentChange& b) { return a.offset < b.offset; });
        return plan;
    }
};

} // namespace

const PhotoContainer& pngContainer() {
    static const PngContainer container;
    return container;
}

} // namespace vantorel
