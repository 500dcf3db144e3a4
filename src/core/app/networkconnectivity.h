// Whether the machine is online, asked of the system's network service.
#pragma once

#include "platform.h"

namespace vantorel {

class NetworkConnectivity : public Connectivity {
public:
    // 0 online; 1 not online; 2 no network service could be loaded; 3 the service cannot tell
    // whether the machine is reachable.
    int CheckInternetConnection() override;
};

} // namespace vantorel
