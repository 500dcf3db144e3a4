// SPDX-License-Identifier: GPL-3.0-or-later
#include "namecatalogue.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <libintl.h>
#include <map>

namespace vantorel::places {

namespace {

// libgeonames' text domain and the largest catalogue read (the French one is a quarter of a MB).
constexpr char kDomain[] = "geonames";
constexpr qint64 kMaxCatalogueBytes = 64 * 1024 * 1024;

} // namespace

NameCatalogue NameCatalogue::fromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxCatalogueBytes) return {};
    return fromBytes(file.read(kMaxCatalogueBytes));
}

NameCatalogue NameCatalogue::fromBytes(const QByteArray& bytes) {
    // Header: magic, revision, count, offset of the identifiers' table, offset of the translations'
    // table, each 32 bits in the writer's byte order (told by the magic); a table holds a length
    // and an offset per message.
    NameCatalogue catalogue;
    const auto size = static_cast<quint64>(bytes.size());
    if (size < 20) return catalogue;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto little = [&](quint64 at) {
        return quint32(data[at]) | quint32(data[at + 1]) << 8 | quint32(data[at + 2]) << 16 |
               quint32(data[at + 3]) << 24;
    };
    bool swapped = false;
    if (little(0) == 0xde120495u)
        swapped = true;
    else if (little(0) != 0x950412deu)
        return catalogue;
    const auto word = [&](quint64 at) -> quint32 {
        const quint32 v = little(at);
        return swapped ? (v >> 24 | (v >> 8 & 0xff00u) | (v << 8 & 0xff0000u) | v << 24) : v;
    };
    const quint64 count = word(8), ids = word(12), texts = word(16);
    if (count > size / 8 || ids + count * 8 > size || texts + count * 8 > size) return catalogue;
    const auto text = [&](quint64 table, quint64 i, QByteArray* out) {
        const quint64 length = word(table + i * 8), offset = word(table + i * 8 + 4);
        if (offset > size || length > size - offset) return false;
        *out = QByteArray(bytes.constData() + offset, static_cast<qsizetype>(length));
        return true;
    };
    catalogue.messages_.reserve(static_cast<qsizetype>(count));
    for (quint64 i = 0; i < count; ++i) {
        QByteArray id, translation;
        if (!text(ids, i, &id) || !text(texts, i, &translation)) return {};
        if (id.isEmpty()) // the catalogue's own header
            continue;
        // A plural message holds its forms one after another: the first one names it.
        const qsizetype end = translation.indexOf('\0');
        if (end >= 0) translation.truncate(end);
        if (!translation.isEmpty()) catalogue.messages_.insert(id, QString::fromUtf8(translation));
    }
    return catalogue;
}

std::shared_ptr<const LanguageNames> LanguageNames::forLanguage(const QByteArray& language) {
    static QMutex mutex;
    static std::map<QByteArray, std::shared_ptr<const LanguageNames>> loaded;
    QMutexLocker lock(&mutex);
    auto& names = loaded[language];
    if (names) return names;
    auto made = std::make_shared<LanguageNames>();
    if (!language.isEmpty()) {
        // Where libgeonames' catalogues are: its binding, or gettext's own folder.
        const char* bound = bindtextdomain(kDomain, nullptr);
        const QString folder = QString::fromLocal8Bit(bound ? bound : "/usr/share/locale");
        // "de_CH.UTF-8@euro" -> de_CH, then de.
        QByteArray name = language;
        for (const char cut : {'@', '.'}) {
            const qsizetype at = name.indexOf(cut);
            if (at >= 0) name.truncate(at);
        }
        QList<QByteArray> tried{name};
        if (const qsizetype underscore = name.indexOf('_'); underscore > 0)
            tried.append(name.left(underscore));
        for (const QByteArray& each : tried) {
            if (each.isEmpty()) continue;
            NameCatalogue catalogue = NameCatalogue::fromFile(folder + u'/' + QString::fromLatin1(each) +
                                                              QStringLiteral("/LC_MESSAGES/") +
                                                              QLatin1String(kDomain) + QStringLiteral(".mo"));
            if (!catalogue.isEmpty()) made->catalogues_.append(std::move(catalogue));
        }
    }
    names = std::move(made);
    return names;
}

QString LanguageNames::name(const QByteArray& id, const QString& fallback) const {
    for (const NameCatalogue& catalogue : catalogues_) {
        const QString found = catalogue.find(id);
        if (!found.isNull()) return found;
    }
    return fallback;
}

} // namespace vantorel::places
