// The firmware package reader and the programming engine:
// - BM_LoadPackage: reading and validating a 1 MiB package of 4096 blocks;
// - BM_ProgramOverPty: a whole programming run over a pseudo-terminal against the simulator
//   program without pacing, reporting the median time from a block acknowledgement's arrival
//   (its line decoded) to the next block's write, and the run's time per block (start to the
//   update command, and start to completion, which includes the beacon's reboot and poll).
#include "flashprog/QvFlashProg.h"
#include "flashprog/QvFlashProgFile.h"
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
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string MakePackage(const std::string& name, size_t blocks)
{
    return QvBenchPackage(name, blocks, 12345, "Benchmark image");
}

void BM_LoadPackage(benchmark::State& state)
{
    const std::string path = MakePackage("qv-bench-1mib.fwx", 4096);
    if (path.empty()) {
        state.SkipWithError("cannot write the package");
        return;
    }
    TQvFlashProgTarget target;
    for (auto _ : state) {
        if (TQvFlashProgFile::Load(path, target) != FP_OK) {
            state.SkipWithError("the package did not load");
            break;
        }
        benchmark::DoNotOptimize(target.Block.data());
    }
    state.counters["blocks"] = static_cast<double>(target.Block.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(target.Length));
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadPackage)->Unit(benchmark::kMillisecond);

void BM_ProgramOverPty(benchmark::State& state)
{
    const size_t blocks = static_cast<size_t>(state.range(0));
    const std::string path = MakePackage("qv-bench-run.fwx", blocks);
    QProcess sim;
    sim.start(QV_BINARY_DIR "/tools/quorvan-beacon-sim", {"--reboot-ms", "0", "--flash-size", "67108864"});
    if (path.empty() || !sim.waitForStarted(10000)) {
        state.SkipWithError("cannot start the simulator");
        return;
    }
    while (!sim.canReadLine() && sim.state() == QProcess::Running)
        sim.waitForReadyRead(100);
    const std::string device = QString::fromUtf8(sim.readLine().trimmed()).toStdString();

    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);
    TComSerialPort port;
    TQvCmdProc proc;
    proc.SetComPort(&port);
    port.SetPort(device);
    port.SetBaudRate(br115200);
    port.Open();

    std::vector<double> ackToWriteUs;
    double programUs = 0;
    double totalUs = 0;
    bool done = false;
    for (auto _ : state) {
        TQvFlashProg engine(&port, &proc);
        QElapsedTimer clock;
        qint64 ackAtNs = -1;
        // An acknowledgement of a block decoded: the engine sends the next block from its handler.
        proc.SetOnDecode(TQvCmdProcDecodeEvent::FromFunction([&](TQvCmdProcDecodeParams& p) {
            if (p.MsgRx && p.MsgRx->CmdId() == CID_PROG_BLOCK)
                ackAtNs = clock.nsecsElapsed();
        }));
        proc.SetOnSend(TQvCmdProcSendEvent::FromFunction([&](TQvCmdProcSendParams& p) {
            const qint64 now = clock.nsecsElapsed();
            if (p.MsgTx->CmdId() == CID_PROG_BLOCK && ackAtNs >= 0)
                ackToWriteUs.push_back(static_cast<double>(now - ackAtNs) / 1e3);
            if (p.MsgTx->CmdId() == CID_PROG_UPDATE)
                programUs = static_cast<double>(now) / 1e3;
            ackAtNs = -1;
        }));
        QEventLoop loop;
        engine.SetOnAction(TQvFlashProgActionEvent::FromFunction([&](TQvFlashProgActionParams& p) {
            if (p.Action == FP_ACTION_DONE || p.Action == FP_ACTION_ERROR) {
                done = p.Action == FP_ACTION_DONE;
                loop.quit();
            }
        }));
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        clock.start();
        if (engine.DeviceProgram(path) != FP_OK)
            break;
        loop.exec();
        totalUs = static_cast<double>(clock.nsecsElapsed()) / 1e3;
        proc.SetOnDecode(TQvCmdProcDecodeEvent());
        proc.SetOnSend(TQvCmdProcSendEvent());
    }
    port.Close();
    sim.terminate();
    sim.waitForFinished(5000);
    std::filesystem::remove(path);
    if (!done || ackToWriteUs.empty()) {
        state.SkipWithError("the programming run did not complete");
        return;
    }
    std::sort(ackToWriteUs.begin(), ackToWriteUs.end());
    state.counters["blocks"] = static_cast<double>(blocks);
    state.counters["ack_to_write_median_us"] = ackToWriteUs[ackToWriteUs.size() / 2];
    state.counters["ack_to_write_p99_us"] = ackToWriteUs[ackToWriteUs.size() * 99 / 100];
    state.counters["program_us_per_block"] = programUs / static_cast<double>(blocks);
    state.counters["total_us_per_block"] = totalUs / static_cast<double>(blocks);
}
// One run per configuration: the reboot poll alone takes 2 s of the total.
BENCHMARK(BM_ProgramOverPty)->Arg(1024)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
