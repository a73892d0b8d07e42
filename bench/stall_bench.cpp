// The main thread while a package of 2 KiB blocks is programmed at 4800 baud: each block takes
// about 8.6 s to cross the line. A 1 ms precise timer on the same event loop records the
// longest gap between its ticks; any blocking wait for the line would show there. The
// simulator program runs in a process of its own, paced at the line rate.
#include "flashprog/QvFlashProg.h"
#include "framework/CvAppLog.h"
#include "framework/qt/CvQtTimerService.h"
#include "protocol/QvCmdProc.h"
#include "serial/ComPort.h"
#include "serial/ComSerialPort.h"
#include "bench/BenchPackage.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

// Args: number of 2048-byte blocks.
void BM_MainThreadStallAt4800(benchmark::State& state)
{
    const size_t blocks = static_cast<size_t>(state.range(0));
    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);
    TCvAppLog log("");
    AppLog = &log;
    QProcess sim;
    sim.start(QV_BINARY_DIR "/tools/quorvan-beacon-sim", {"--reboot-ms", "300", "--baud", "4800"});
    std::string device;
    if (sim.waitForStarted(10000)) {
        while (!sim.canReadLine() && sim.state() == QProcess::Running)
            sim.waitForReadyRead(100);
        device = QString::fromUtf8(sim.readLine().trimmed()).toStdString();
    }
    const std::string path = QvBenchPackage("qv-stall.fwx", blocks, 4242, "Stall image", 2048);

    TComSerialPort port;
    TQvCmdProc proc;
    proc.SetComPort(&port);
    port.SetPort(device);
    port.SetBaudRate(br4800);
    bool done = false;
    double longestMs = 0;
    double runS = 0;
    try {
        port.Open();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
    for (auto _ : state) {
        if (!port.Connected() || path.empty())
            break;
        TQvFlashProg engine(&port, &proc);
        QEventLoop loop;
        engine.SetOnAction(TQvFlashProgActionEvent::FromFunction([&](TQvFlashProgActionParams& p) {
            if (p.Action == FP_ACTION_DONE || p.Action == FP_ACTION_ERROR) {
                done = p.Action == FP_ACTION_DONE;
                loop.quit();
            }
        }));
        QElapsedTimer clock;
        qint64 lastNs = -1;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(1);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            if (lastNs >= 0)
                longestMs = std::max(longestMs, static_cast<double>(now - lastNs) / 1e6);
            lastNs = now;
        });
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        clock.start();
        probe.start();
        if (engine.DeviceProgram(path) == FP_OK)
            loop.exec();
        probe.stop();
        runS = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(runS);
        engine.Stop();
    }
    port.Close();
    std::filesystem::remove(path);
    sim.terminate();
    sim.waitForFinished(5000);
    AppLog = nullptr;
    if (!done) {
        state.SkipWithError("the run did not complete");
        return;
    }
    state.counters["blocks"] = static_cast<double>(blocks);
    state.counters["block_bytes"] = 2048;
    state.counters["longest_stall_ms"] = longestMs;
    state.counters["run_s"] = runS;
}
BENCHMARK(BM_MainThreadStallAt4800)->Arg(2)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
