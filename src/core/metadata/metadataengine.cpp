// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadataengine.h"

#include <QLoggingCategory>

#include <dlfcn.h>
#include <limits.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcEngine, "vantorel.engine", QtWarningMsg)

namespace vantorel {
namespace {

// Where the module is, from the folder of the running program and nowhere else, so that no path of
// the build folder is kept in the programs: beside the program (a build folder copies it beside each
// of its programs), or in the package's library folder (VANTOREL_MODULE_FROM_PROGRAM), so that an
// installation works wherever it is unpacked.
std::string modulePath() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    std::string folder(self, size_t(n));
    folder.erase(folder.rfind('/') + 1);
    const std::string beside = folder + "libvantorel-exiv2.so";
    struct stat st {};
    if (::stat(beside.c_str(), &st) == 0) return beside;
    return folder + VANTOREL_MODULE_FROM_PROGRAM;
}

const MetadataEngine* load() {
    const std::string path = modulePath();
    if (path.empty()) {
        qCWarning(lcEngine, "Lecteur de métadonnées introuvable : dossier du programme inconnu");
        return nullptr;
    }
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        qCWarning(lcEngine, "Lecteur de métadonnées introuvable : %s", ::dlerror());
        return nullptr;
    }
    const auto entry =
        reinterpret_cast<VantorelMetadataEngineEntry>(::dlsym(module, "vantorel_metadata_engine"));
    const MetadataEngine* engine = entry ? entry(kMetadataEngineInterface) : nullptr;
    if (!engine) {
        qCWarning(lcEngine, "Lecteur de métadonnées d'une autre version : %s", path.c_str());
        ::dlclose(module);
    }
    // Loaded once and kept until the program ends.
    return engine;
}

} // namespace

const MetadataEngine* metadataEngine() {
    static std::once_flag once;
    static const MetadataEngine* engine = nullptr;
    std::call_once(once, [] { engine = load(); });
    return engine;
}

} // namespace vantorel
