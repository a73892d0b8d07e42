// Application log costs: adding entries under the default limit with auto-saving, and the
// start-up of a log whose file already holds 10 000 lines.
#include "framework/CvApp.h"
#include "framework/CvAppLog.h"
#include "framework/CvFiles.h"
#include "framework/CvTimer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {
// A temporary folder holding the pretend executable, with simulated timers.
class TBenchEnv {
public:
    TBenchEnv()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "qvbench-XXXXXX").string();
        if (::mkdtemp(templ.data()))
            fDir = templ + "/";
        TCvApp::SetAppExeFileName(fDir + "qvprog");
        TCvApp::SetCmdLine(std::vector<std::string>{fDir + "qvprog"});
    }
    ~TBenchEnv()
    {
        TCvApp::SetAppExeFileName("");
        TCvApp::SetCmdLine(std::vector<std::string>{});
        std::error_code ec;
        std::filesystem::remove_all(fDir, ec);
    }
    std::string LogFile() const { return fDir + "qvprog.log"; }

private:
    std::string fDir;
    TCvManualClock fClock;
    TCvTimerServiceScope fScope{&fClock};
};

// Each iteration is one entry: 100 000 of them with the default 2000-line limit, a save every
// 100 entries and the 15-minute timer armed.
void BM_LogAddWithAutoSave(benchmark::State& state)
{
    TBenchEnv env;
    TCvAppLog log;
    int i = 0;
    for (auto _ : state)
        log.Add(logInfo, "Block %d of %d sent, status 0x%0.2X.", ++i, 100000, 0);
    state.counters["lines"] = static_cast<double>(log.Lines().size());
}
BENCHMARK(BM_LogAddWithAutoSave)->Iterations(100000)->Unit(benchmark::kMicrosecond);

// Start-up (load, start-up entries, first save) with a 10 000-line file from earlier runs;
// the argument is the entry limit in force (LOGENTRIES).
void BM_LogStartupLoad(benchmark::State& state)
{
    TBenchEnv env;
    TCvApp::SetCmdLine(std::vector<std::string>{"qvprog", "/LOGENTRIES=" + std::to_string(state.range(0))});
    std::string content = "header\r\n\r\n";
    for (int i = 1; i <= 10000; ++i)
        content += std::to_string(i) + ",2026-03-14 09:30:05.123,INFO,\"Block " + std::to_string(i) +
                   " of 10000 sent, status 0x00.\"\r\n";
    for (auto _ : state) {
        state.PauseTiming();
        CvWriteFileAtomic(env.LogFile(), content);
        state.ResumeTiming();
        auto log = std::make_unique<TCvAppLog>();
        benchmark::DoNotOptimize(log->MsgLastId());
        state.PauseTiming();
        log.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LogStartupLoad)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
