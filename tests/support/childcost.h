// SPDX-License-Identifier: GPL-3.0-or-later
// What decoding a hostile file costs, measured in a child process: whether each decoder gave a picture,
// the CPU time and the peak memory of both together.
#pragma once

#include <functional>

namespace vantorel::test {

struct ChildCost {
    bool exited = false;
    bool preview = false;
    bool viewer = false;
    double cpuSeconds = 0;
    double peakMegabytes = 0;
};

// Runs `preview` then `viewer` in a child process; each tells whether it gave a picture.
ChildCost decodeInChild(const std::function<bool()>& preview, const std::function<bool()>& viewer);

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true; // shadow memory and slower code: costs are not measured
#else
inline constexpr bool kSanitized = false;
#endif

} // namespace vantorel::test
