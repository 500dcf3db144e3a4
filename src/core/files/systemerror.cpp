// SPDX-License-Identifier: GPL-3.0-or-later
#include "systemerror.h"

#include <cerrno>
#include <cstring>

namespace vantorel {

QString systemErrorText(int error) {
    switch (error) {
    case ENOSPC:
        return QStringLiteral("disque plein");
    case EDQUOT:
        return QStringLiteral("quota de disque dépassé");
    case EROFS:
        return QStringLiteral("support en lecture seule");
    case EACCES:
    case EPERM:
        return QStringLiteral("accès refusé");
    case ENOENT:
        return QStringLiteral("fichier ou dossier introuvable");
    case ENOTDIR:
        return QStringLiteral("un élément du chemin n'est pas un dossier");
    case EISDIR:
        return QStringLiteral("c'est un dossier");
    case EEXIST:
        return QStringLiteral("le nom est déjà pris");
    case ENAMETOOLONG:
        return QStringLiteral("nom trop long");
    case ELOOP:
        return QStringLiteral("trop de liens symboliques");
    case EIO:
        return QStringLiteral("erreur d'entrée-sortie du support");
    case EFBIG:
        return QStringLiteral("fichier trop grand");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("trop de fichiers ouverts");
    case ENOMEM:
        return QStringLiteral("mémoire insuffisante");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("fichier ou support occupé");
    case EXDEV:
        return QStringLiteral("pas sur le même système de fichiers");
    case ENOTEMPTY:
        return QStringLiteral("dossier non vide");
    case EAGAIN:
        return QStringLiteral("ressource momentanément indisponible");
    case EINTR:
        return QStringLiteral("opération interrompue");
    case EINVAL:
        return QStringLiteral("opération refusée par le système de fichiers");
    case ESTALE:
        return QStringLiteral("fichier réseau périmé");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("périphérique absent");
    }
    const char* name = ::strerrorname_np(error);
    return name ? QStringLiteral("erreur système %1").arg(QLatin1String(name))
                : QStringLiteral("erreur système %1").arg(error);
}

} // namespace vantorel
