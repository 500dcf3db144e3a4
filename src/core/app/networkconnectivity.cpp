#include "networkconnectivity.h"

#include <QNetworkInformation>

namespace vantorel {

int NetworkConnectivity::CheckInternetConnection() {
    if (!QNetworkInformation::instance() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return 2;
    QNetworkInformation* info = QNetworkInformation::instance();
    if (!info) return 2;
    if (!info->supports(QNetworkInformation::Feature::Reachability)) return 3;
    return info->reachability() == QNetworkInformation::Reachability::Online ? 0 : 1;
}

} // namespace vantorel
