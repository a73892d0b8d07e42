// How closely the beacon simulator's --baud pacing matches the line: a 256-byte PROG_BLOCK and
// its acknowledgement, written and read over the simulator's pseudo-terminal, against the time
// their characters take at 10 bits each. Reported as "vs_line" (1.00 = exactly line time).
#include "protocol/QvCmdSys.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSerialPort>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {
// One simulator process per baud rate, with a session open for a long image.
class TPacedSim {
public:
    explicit TPacedSim(int baud)
    {
        fProc.start(QV_BINARY_DIR "/tools/quorvan-beacon-sim",
                    {"--baud", QString::number(baud), "--flash-size", "67108864"});
        fProc.waitForStarted(10000);
        while (!fProc.canReadLine() && fProc.state() == QProcess::Running)
            fProc.waitForReadyRead(100);
        fPort.setPortName(QString::fromUtf8(fProc.readLine().trimmed()));
        Ok = fPort.open(QIODevice::ReadWrite);
        TQvCmdMsgTxProgInit init;
        init.SetSection(1);
        init.SetLength(64 << 20);
        init.SetChecksum(1);
        Ok = Ok && Exchange(init.EncodeStr(true)) > 0;
    }
    ~TPacedSim()
    {
        fPort.close();
        fProc.terminate();
        fProc.waitForFinished(5000);
    }

    // Writes a line and waits for the whole reply; returns the reply's length (0 on time-out).
    size_t Exchange(const std::string& line)
    {
        fPort.write(line.data(), static_cast<qint64>(line.size()));
        std::string in;
        QElapsedTimer t;
        t.start();
        while (in.find("\r\n") == std::string::npos && t.elapsed() < 5000) {
            if (fPort.bytesToWrite() > 0)
                fPort.waitForBytesWritten(10);
            else if (fPort.waitForReadyRead(50))
                in += fPort.readAll().toStdString();
        }
        return in.find("\r\n") == std::string::npos ? 0 : in.size();
    }

    bool Ok = false;

private:
    QProcess fProc;
    QSerialPort fPort;
};

void BM_PacedBlockAndAck(benchmark::State& state)
{
    const int baud = static_cast<int>(state.range(0));
    TPacedSim sim(baud);
    if (!sim.Ok) {
        state.SkipWithError("simulator did not start");
        return;
    }
    TQvCmdMsgTxProgBlock block;
    block.SetData(std::vector<uint8_t>(256, 0x5A));
    const std::string line = block.EncodeStr(true);
    size_t ack = 0;
    double total = 0;
    int64_t count = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        ack = sim.Exchange(line);
        const double seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        if (ack == 0) {
            state.SkipWithError("no acknowledgement");
            return;
        }
        total += seconds;
        ++count;
    }
    const double lineSeconds = static_cast<double>(line.size() + ack) * 10.0 / baud;
    const double measured = count ? total / static_cast<double>(count) : 0.0;
    state.counters["chars"] = static_cast<double>(line.size() + ack);
    state.counters["line_ms"] = lineSeconds * 1e3;
    state.counters["measured_ms"] = measured * 1e3;
    state.counters["vs_line"] = measured / lineSeconds;
}
BENCHMARK(BM_PacedBlockAndAck)->Arg(115200)->Arg(57600)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PacedBlockAndAck)->Arg(9600)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
} // namespace
