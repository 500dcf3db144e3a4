#include "copyworker.h"

#include <atomic>
#include <chrono>
#include <future>

namespace vantorel {

CopyOutcome writeCopyWithProgress(Progress& progress, const QString& source, const QString& target,
                                  const std::optional<GpsPosition>& position) {
    constexpr int kSteps = 1000;
    CopyOutcome outcome;
    progress.start(kCopyInProgress, kSteps);
    if (!progress.advance(0)) {
        progress.finish();
        outcome.cancelled = true;
        return outcome;
    }
    std::atomic<qint64> done{0}, total{0};
    std::atomic<bool> stop{false};
    AtomicWriteOptions options;
    options.copyProgress = [&](qint64 bytesDone, qint64 bytesTotal) {
        done = bytesDone;
        total = bytesTotal;
        return !stop;
    };
    auto work =
        std::async(std::launch::async, [&] { return writeGeotagCopy(source, target, position, options); });
    while (work.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        const qint64 size = total;
        if (!progress.advance(size > 0 ? int(done * kSteps / size) : 0)) stop = true;
    }
    progress.finish();
    outcome.result = work.get();
    outcome.cancelled = stop && !outcome.result.ok;
    return outcome;
}

} // namespace vantorel
