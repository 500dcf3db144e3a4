// SPDX-License-Identifier: GPL-3.0-or-later
// The translations of libgeonames' town, region and country names, read from its own message
// catalogues (geonames.mo) for a language chosen by the program, whichever locales the system has
// generated: gettext would translate only into an installed locale, and only the process's.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <memory>

namespace vantorel::places {

// One catalogue file: its messages (an identifier -> the translated name).
class NameCatalogue {
public:
    // The messages of a .mo file; empty when the file is missing or damaged.
    static NameCatalogue fromFile(const QString& path);
    // The messages of .mo bytes; empty when they are not a catalogue.
    static NameCatalogue fromBytes(const QByteArray& bytes);

    bool isEmpty() const { return messages_.isEmpty(); }
    qsizetype size() const { return messages_.size(); }
    // The translation of `id`, or a null string.
    QString find(const QByteArray& id) const { return messages_.value(id); }

private:
    QHash<QByteArray, QString> messages_;
};

// The catalogues of a language, most precise first: "fr_CH" gives fr_CH's then fr's (a message
// missing in the first is looked up in the next, as gettext does). Loaded once per language and
// shared; safe from any thread.
class LanguageNames {
public:
    static std::shared_ptr<const LanguageNames> forLanguage(const QByteArray& language);
    // The translation of `id` in the first catalogue that has it, else `fallback`.
    QString name(const QByteArray& id, const QString& fallback) const;
    bool isEmpty() const { return catalogues_.isEmpty(); }

private:
    QList<NameCatalogue> catalogues_;
};

} // namespace vantorel::places
