// The fwx package reader at growing sizes: time per load and the peak resident memory a load
// takes, so that the cost can be seen to grow linearly with the package.
// Args: image size in KiB, block size in bytes. The peak is measured in a child process (a
// fresh heap): its high-water mark of resident memory is reset, the package loaded, and the
// rise of the mark over the resident size before the load reported.
#include "flashprog/QvFlashProgFile.h"
#include "framework/CvAppLog.h"
#include "framework/CvTimer.h"
#include "tools/fwxpack/QvFwxPack.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string MakePackage(size_t bytes, uint32_t blockSize)
{
    std::vector<uint8_t> image(bytes);
    uint32_t x = 4242;
    for (uint8_t& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    TQvFwxPackOptions options;
    options.BlockSize = blockSize;
    options.Name = "Package image";
    options.Timestamp = "2026-01-01 00:00:00";
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("qv-pkg-" + std::to_string(bytes) + "-" + std::to_string(blockSize) + ".fwx"))
                                 .string();
    std::string error;
    return TQvFwxPack::WriteFile(path, image, options, error) ? path : std::string();
}

long StatusKiB(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key)));
    return -1;
}

// The peak resident memory, in KiB, a load of `path` adds; -1 when it cannot be measured.
long PeakLoadKiB(const std::string& path)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        long peak = -1;
        {
            TCvManualClock clock;
            TCvTimerServiceScope scope(&clock);
            TCvAppLog log("");
            AppLog = &log;
            // Free memory inherited from the parent goes back to the system first, so the load's
            // own pages are what raises the mark.
            ::malloc_trim(0);
            std::ofstream("/proc/self/clear_refs") << "5";
            const long before = StatusKiB("VmRSS:");
            TQvFlashProgTarget target;
            if (TQvFlashProgFile::Load(path, target) == FP_OK)
                peak = StatusKiB("VmHWM:") - before;
            AppLog = nullptr;
        }
        (void)!::write(fds[1], &peak, sizeof(peak));
        ::_exit(0);
    }
    ::close(fds[1]);
    long peak = -1;
    if (::read(fds[0], &peak, sizeof(peak)) != sizeof(peak))
        peak = -1;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return peak;
}

void BM_LoadPackage(benchmark::State& state)
{
    const size_t bytes = static_cast<size_t>(state.range(0)) * 1024;
    const uint32_t blockSize = static_cast<uint32_t>(state.range(1));
    const std::string path = MakePackage(bytes, blockSize);
    if (path.empty()) {
        state.SkipWithError("cannot write the package");
        return;
    }
    const long peakKiB = PeakLoadKiB(path);
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    TCvAppLog log("");
    AppLog = &log;
    TQvFlashProgTarget target;
    for (auto _ : state) {
        if (TQvFlashProgFile::Load(path, target) != FP_OK) {
            state.SkipWithError("the package did not load");
            break;
        }
        benchmark::DoNotOptimize(target.Block.data());
    }
    AppLog = nullptr;
    state.counters["file_MiB"] = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
    state.counters["blocks"] = static_cast<double>(target.Block.size());
    state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadPackage)
    ->Args({1024, 256})
    ->Args({4096, 256})
    ->Args({16384, 256})
    ->Args({16384, 4096})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
