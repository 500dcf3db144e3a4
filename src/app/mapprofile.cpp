// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapprofile.h"

#include "files/atomicfile.h"
#include "files/privatefolder.h"
#include "maps/mappagefile.h"
#include "pageserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>

Q_LOGGING_CATEGORY(lcMaps, "vantorel.maps")

namespace vantorel {

void TileRequestInterceptor::setSettings(const MapSettings& settings) {
    m_settings = settings;
    m_hosts.reset();
}

MapHosts TileRequestInterceptor::hosts() {
    const QString origin = sharedPageServer().origin();
    if (!m_hosts || origin != m_origin) {
        m_origin = origin;
        m_hosts.emplace(origin, m_settings);
    }
    return *m_hosts;
}

void TileRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QUrl url = info.requestUrl();
    if (observer && observer(url)) {
        info.block(true);
        return;
    }
    // A page reaches nothing but the program's server and the map hosts: no local file, no other
    // program's server on this machine, no site of its own choosing.
    if (!hosts().requestAllowed(url)) info.block(true);
}

TileRequestInterceptor* mapInterceptor() {
    static TileRequestInterceptor* interceptor = [] {
        auto* i = new TileRequestInterceptor;
        i->setSettings(loadMapSettings());
        return i;
    }();
    return interceptor;
}

namespace {

// The page storage of the run's maps (history, local and session storage, visited links,
// preferences): a private folder of the run, removed at the end.
class RunStorage {
public:
    RunStorage() { m_folder.create(runTemporaryFolder(), kWebStoragePrefix); }
    ~RunStorage() {
        m_folder.removeAll();
        removeDefaultPreferences();
    }
    QString path() const { return m_folder.path(); }

    // The engine writes its preferences where a profile of this name lives by default as soon as
    // the profile is made, before it can be told the run's folder: that file (the program's own)
    // goes, and the folders it made when they are empty.
    static void removeDefaultPreferences() {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                               QStringLiteral("/QtWebEngine/maps");
        QFile::remove(folder + QStringLiteral("/user_prefs.json"));
        QDir().rmdir(folder);
        QDir().rmdir(QFileInfo(folder).path());
        QDir().rmdir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    }

private:
    PrivateFolder m_folder;
};

} // namespace

QWebEngineProfile* mapProfile() {
    static QWebEngineProfile* profile = [] {
        QString why;
        const QString cache = checkedMapCacheFolder(&why);
        if (cache.isEmpty())
            qCWarning(lcMaps, "Cache des tuiles refusé (%s) : les cartes sont chargées sans cache.",
                      qUtf8Printable(why));
        // A named profile keeps its HTTP cache on disk; its pages are deleted with the application's
        // windows, and it goes last, when the application ends, so the engine closes its cache cleanly.
        auto* p = new QWebEngineProfile(QStringLiteral("maps"), QCoreApplication::instance());
        static RunStorage* storage = new RunStorage;
        QObject::connect(p, &QObject::destroyed, [] {
            delete storage;
            storage = nullptr;
        });
        if (!storage->path().isEmpty()) p->setPersistentStoragePath(storage->path());
        RunStorage::removeDefaultPreferences();
        if (cache.isEmpty()) {
            p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        } else {
            p->setCachePath(cache);
            p->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
            p->setHttpCacheMaximumSize(loadMapSettings().tileCacheMegabytes * 1024 * 1024);
        }
        p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        p->setSpellCheckEnabled(false);
        p->cookieStore()->setCookieFilter([](const QWebEngineCookieStore::FilterRequest&) { return false; });
        p->setHttpUserAgent(p->httpUserAgent() + QLatin1Char(' ') + tileUserAgent());
        p->setUrlRequestInterceptor(mapInterceptor());
        QWebEngineSettings* settings = p->settings();
        settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
        // The pages come from the program's server, not from files: nothing local may read a file or
        // reach the network.
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        QFile channelScript(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
        if (channelScript.open(QIODevice::ReadOnly)) {
            QWebEngineScript script;
            script.setName(QStringLiteral("qwebchannel"));
            script.setSourceCode(QString::fromUtf8(channelScript.readAll()));
            script.setInjectionPoint(QWebEngineScript::DocumentCreation);
            script.setWorldId(QWebEngineScript::MainWorld);
            p->scripts()->insert(script);
        }
        return p;
    }();
    return profile;
}

} // namespace vantorel
