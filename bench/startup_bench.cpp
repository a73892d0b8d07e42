// Start-up of the desktop program's window (offscreen): from creating the main window, which
// creates the core (log read back, settings loaded, port opened), to the window shown and
// exposed, with a full log file and a settings file beside the pretend executable.
// Arg: the log's entry limit (2000 is the default; 10000, the largest, through -LOGENTRIES).
#include "app/QvApp.h"
#include "app/QvDialogs.h"
#include "framework/CvApp.h"
#include "framework/CvAppLog.h"
#include "framework/CvFiles.h"
#include "framework/qt/CvQtTimerService.h"
#include "ui/QvMainForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string MakeFolder()
{
    std::string templ = (std::filesystem::temp_directory_path() / "qvstart-XXXXXX").string();
    return ::mkdtemp(templ.data()) ? templ + "/" : std::string();
}

void WriteFiles(const std::string& dir, int entries)
{
    {
        // The log writes its own file, header included, filled to its limit.
        TCvAppLog log(dir + "qvprog.log");
        log.SetEntries(entries);
        for (int i = 0; i < entries; ++i)
            log.Add(logInfo, "Device transfering block %d (12.5%%)...", i);
        log.Save();
    }
    std::string ini = "[Serial]\r\nPort=/dev/qv-no-such-port\r\nBaudRate=115200\r\nDataBits=8\r\nStopBits=1\r\n"
                      "Parity=None\r\nFlowControl=None\r\n[RecentFiles]\r\n";
    for (int i = 0; i < 10; ++i)
        ini += "File" + std::to_string(i) + "=" + dir + "firmware-" + std::to_string(i) + ".fwx\r\n";
    ini += "[Config]\r\nPath=" + dir + "\r\n";
    CvWriteFileAtomic(dir + "qvprog.ini", ini);
}

void BM_MainWindowShown(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    const std::string dir = MakeFolder();
    ::setenv("HOME", dir.c_str(), 1);
    TCvApp::SetAppExeFileName(dir + "qvprog");
    std::vector<std::string> args{dir + "qvprog"};
    if (entries != 2000)
        args.push_back("-LOGENTRIES=" + std::to_string(entries));
    TCvApp::SetCmdLine(args);
    QvDialogs().ShowError = [](const std::string&, const std::string&) {}; // the missing port's box
    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);
    size_t logLines = 0;
    for (auto _ : state) {
        state.PauseTiming();
        WriteFiles(dir, entries);
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        auto form = std::make_unique<TQvMainFrm>();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get(), 5000)) {
            state.SkipWithError("the window was not exposed");
            break;
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        state.PauseTiming();
        logLines = AppLog ? AppLog->Lines().size() : 0;
        form.reset();
        state.ResumeTiming();
    }
    state.counters["log_lines_shown"] = static_cast<double>(logLines);
    TCvApp::SetAppExeFileName("");
    TCvApp::SetCmdLine(std::vector<std::string>{});
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_MainWindowShown)->Arg(2000)->Arg(10000)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
