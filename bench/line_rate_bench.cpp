// Programming efficiency at line rate: a 256 KiB image in 256-byte blocks programmed over a
// pseudo-terminal into a simulated beacon paced at 9600, 57600 and 115200 baud.
// The time from FP_ACTION_START to the update acknowledgement is set against the line-rate
// bound: every character of that exchange, both ways, at 10 bits a character. At 9600 baud
// the whole image takes about 10 minutes, so a proportional slice of 32 blocks is measured.
// Two set-ups: the beacon in this process (on the engine's event loop), and the simulator
// program in a process of its own, as a real beacon is a machine of its own.
#include "flashprog/QvFlashProg.h"
#include "framework/CvAppLog.h"
#include "framework/qt/CvQtTimerService.h"
#include "protocol/QvCmdProc.h"
#include "serial/ComPort.h"
#include "serial/ComSerialPort.h"
#include "bench/BenchPackage.h"
#include "tools/sim/QvSimBeacon.h"
#include "tools/simqt/QvSimHost.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string MakePackage(size_t blocks)
{
    return QvBenchPackage("qv-line-rate-" + std::to_string(blocks) + ".fwx", blocks, 777, "Line rate image");
}

TBaudRate BaudOf(int64_t baud)
{
    switch (baud) {
    case 9600: return br9600;
    case 57600: return br57600;
    default: return br115200;
    }
}

// One programming run over `device` at `baud`; false when it did not reach the update
// acknowledgement.
bool RunAtLineRate(benchmark::State& state, const std::string& device, uint32_t baud, size_t blocks)
{
    const std::string path = MakePackage(blocks);
    TComSerialPort port;
    TQvCmdProc proc;
    proc.SetComPort(&port);
    port.SetPort(device);
    port.SetBaudRate(BaudOf(baud));
    port.Open();

    double measuredS = 0;
    double boundS = 0;
    bool ok = false;
    for (auto _ : state) {
        TQvFlashProg engine(&port, &proc);
        uint64_t chars = 0;
        QElapsedTimer clock;
        qint64 startNs = -1;
        qint64 ackNs = -1;
        QEventLoop loop;
        proc.SetOnSend(TQvCmdProcSendEvent::FromFunction([&](TQvCmdProcSendParams& p) {
            if (ackNs < 0)
                chars += p.MsgTx->EncodeStr(true).size();
        }));
        proc.SetOnDecode(TQvCmdProcDecodeEvent::FromFunction([&](TQvCmdProcDecodeParams& p) {
            if (p.MsgRx == nullptr || ackNs >= 0)
                return;
            chars += p.MsgRx->DecodeMsgStr().size() + 2; // and its CR LF
            if (p.MsgRx->CmdId() == CID_PROG_UPDATE) {
                ackNs = clock.nsecsElapsed();
                loop.quit();
            }
        }));
        engine.SetOnAction(TQvFlashProgActionEvent::FromFunction([&](TQvFlashProgActionParams& p) {
            if (p.Action == FP_ACTION_START)
                startNs = clock.nsecsElapsed();
            if (p.Action == FP_ACTION_ERROR)
                loop.quit();
        }));
        QTimer::singleShot(900000, &loop, &QEventLoop::quit);
        clock.start();
        if (path.empty() || engine.DeviceProgram(path) != FP_OK)
            break;
        loop.exec();
        ok = ackNs > 0 && startNs >= 0;
        measuredS = static_cast<double>(ackNs - startNs) / 1e9;
        boundS = static_cast<double>(chars) * 10.0 / baud;
        state.SetIterationTime(measuredS);
        engine.Stop();
        proc.SetOnSend({});
        proc.SetOnDecode({});
    }
    port.Close();
    std::filesystem::remove(path);
    if (!ok)
        return false;
    state.counters["blocks"] = static_cast<double>(blocks);
    state.counters["bound_s"] = boundS;
    state.counters["measured_s"] = measuredS;
    state.counters["efficiency_pct"] = 100.0 * boundS / measuredS;
    return true;
}

// Args: baud rate, number of 256-byte blocks. The beacon runs in this process, on the same
// event loop as the engine.
void BM_ProgramAtLineRate(benchmark::State& state)
{
    const uint32_t baud = static_cast<uint32_t>(state.range(0));
    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);
    TCvAppLog log("");
    AppLog = &log;
    TQvSimConfig config;
    config.Baud = baud;
    config.RebootMs = 0;
    TQvSimBeacon beacon(config);
    TQvSimHost host(beacon);
    std::string error;
    if (!host.OpenPty(error) || !RunAtLineRate(state, host.DevicePath(), baud, static_cast<size_t>(state.range(1))))
        state.SkipWithError("the run did not reach the update acknowledgement");
    AppLog = nullptr;
}

// The same with the simulator program in its own process (as a beacon is its own machine).
void BM_ProgramAtLineRateSimProcess(benchmark::State& state)
{
    const uint32_t baud = static_cast<uint32_t>(state.range(0));
    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);
    TCvAppLog log("");
    AppLog = &log;
    QProcess sim;
    sim.start(QV_BINARY_DIR "/tools/quorvan-beacon-sim",
              {"--reboot-ms", "0", "--baud", QString::number(baud)});
    std::string device;
    if (sim.waitForStarted(10000)) {
        while (!sim.canReadLine() && sim.state() == QProcess::Running)
            sim.waitForReadyRead(100);
        device = QString::fromUtf8(sim.readLine().trimmed()).toStdString();
    }
    if (device.empty() || !RunAtLineRate(state, device, baud, static_cast<size_t>(state.range(1))))
        state.SkipWithError("the run did not reach the update acknowledgement");
    sim.terminate();
    sim.waitForFinished(5000);
    AppLog = nullptr;
}
BENCHMARK(BM_ProgramAtLineRateSimProcess)
    ->Args({115200, 1024})
    ->Args({57600, 1024})
    ->Args({9600, 32})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK(BM_ProgramAtLineRate)
    ->Args({115200, 1024})
    ->Args({57600, 1024})
    ->Args({9600, 32})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace
