// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for reading many photos' heads: the first 16 KB of each file, one pread per file, on N
// threads taking files in turn, nothing parsed. Usage: headfloor_bench THREADS < list-of-paths
// Prints the files read, the bytes read and the wall time in milliseconds.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    const int threads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<std::string> paths;
    for (std::string line; std::getline(std::cin, line);)
        if (!line.empty()) paths.push_back(line);
    std::atomic<std::size_t> next{0};
    std::atomic<long long> bytes{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            std::vector<char> buf(16 * 1024);
            long long mine = 0;
            for (std::size_t i; (i = next++) < paths.size();) {
                const int fd = ::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0) continue;
                const ssize_t n = ::pread(fd, buf.data(), buf.size(), 0);
                if (n > 0) mine += n;
                ::close(fd);
            }
            bytes += mine;
        });
    for (std::thread& t : pool)
        t.join();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu files, %.1f MB, %.1f ms\n", paths.size(), double(bytes) / 1e6, ms);
    return 0;
}
