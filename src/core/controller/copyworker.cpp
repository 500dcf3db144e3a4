// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyworker.h"

#include <chrono>
#include <future>

namespace vantorel {

CopyResult writeCopyBesideWindow(EventPump& pump, const QString& source, const QString& target,
                                 const std::optional<GpsPosition>& position, bool allLocation, bool replace,
                                 const LocationMetadataEdit::Place& place) {
    AtomicWriteOptions options;
    options.replace = replace;
    auto work = std::async(std::launch::async, [&] {
        return allLocation ? writeCopyWithoutLocation(source, target, options)
                           : writeGeotagCopy(source, target, position, options, place);
    });
    while (work.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        pump.processMessages();
    return work.get();
}

} // namespace vantorel
