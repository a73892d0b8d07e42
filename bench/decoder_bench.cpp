// Characters through the command processor's line builder and decode: a realistic receive
// stream of block acknowledgements, system information, configuration and engineering replies,
// with noise between the lines, fed one character at a time as the port delivers them; each
// decoded reply reaches a registered handler that reads its record, as the engine's do.
#include "framework/CvAppLog.h"
#include "framework/CvFoundation.h"
#include "framework/CvTimer.h"
#include "protocol/QvCmdProc.h"
#include "protocol/QvCmdSys.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string Line(const std::vector<uint8_t>& bytes)
{
    const uint16_t crc = TCvCrc::Crc16(bytes);
    std::string line = "$";
    line += TCvConvert::BytesToHex(bytes) + TCvConvert::IntToHex(crc & 0xFF, 2) + TCvConvert::IntToHex(crc >> 8, 2);
    line += "\r\n";
    return line;
}

// Per round: 32 block acknowledgements, one system information reply (39 bytes), one
// configuration reply (117 bytes), two engineering replies; 0 to 15 noise bytes (never "$")
// before each line.
std::string Stream(size_t rounds)
{
    std::vector<uint8_t> info(39, 0x11);
    info[0] = CID_SYS_INFO;
    std::vector<uint8_t> config(117, 0x22);
    config[0] = CID_CONFIG_GET;
    const std::string ack = Line({CID_PROG_BLOCK, 0x00});
    const std::string infoLine = Line(info);
    const std::string configLine = Line(config);
    const std::string engLine = Line({CID_SYS_ENGINEERING, 0x00, 0x02});
    uint32_t x = 99;
    auto noise = [&](std::string& out) {
        x = x * 1664525u + 1013904223u;
        for (uint32_t n = (x >> 24) & 15; n > 0; --n) {
            x = x * 1664525u + 1013904223u;
            char c = static_cast<char>(x >> 24);
            out += c == '$' ? '?' : c;
        }
    };
    std::string out;
    for (size_t r = 0; r < rounds; ++r) {
        for (int i = 0; i < 32; ++i) {
            noise(out);
            out += ack;
        }
        for (const std::string* l : {&infoLine, &configLine, &engLine, &engLine}) {
            noise(out);
            out += *l;
        }
    }
    return out;
}

struct TSink {
    void Execute(TQvCmdProcExecuteParams& p)
    {
        if (auto* info = dynamic_cast<TQvCmdMsgRxSysInfo*>(p.MsgRx))
            Sum += info->Info().Uptime;
        else if (auto* config = dynamic_cast<TQvCmdMsgRxConfigGet*>(p.MsgRx))
            Sum += config->Config().PressureSensor.CalId;
        else if (auto* status = dynamic_cast<TQvCmdMsgRx_Status*>(p.MsgRx))
            Sum += status->Status();
        ++Count;
    }
    uint64_t Sum = 0;
    uint64_t Count = 0;
};

void BM_DecodeStream(benchmark::State& state)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    TCvAppLog log("");
    AppLog = &log;
    TSink sink;
    TQvCmdProc proc;
    proc.RegisterCmd(CID_SYS_INFO, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysInfo>());
    proc.RegisterCmd(CID_SYS_ENGINEERING, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysEngineering>());
    proc.RegisterCmd(CID_PROG_INIT, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgInit>());
    proc.RegisterCmd(CID_PROG_BLOCK, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgBlock>());
    proc.RegisterCmd(CID_PROG_UPDATE, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgUpdate>());
    proc.RegisterCmd(CID_CONFIG_GET, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxConfigGet>());
    for (EQvCmdId id : {CID_SYS_INFO, CID_SYS_ENGINEERING, CID_PROG_INIT, CID_PROG_BLOCK, CID_PROG_UPDATE,
                        CID_CONFIG_GET})
        proc.RegisterHandler(id, TQvCmdProcExecuteDelegate(&sink, &TSink::Execute));

    const std::string stream = Stream(64);
    for (auto _ : state) {
        for (char c : stream)
            proc.Decode(c);
    }
    const uint64_t linesPerPass = 64 * 36;
    if (sink.Count != linesPerPass * state.iterations())
        state.SkipWithError("not every reply was dispatched");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["MB_per_s"] = benchmark::Counter(static_cast<double>(stream.size()) * state.iterations() / 1e6,
                                                    benchmark::Counter::kIsRate);
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(sink.Count), benchmark::Counter::kIsRate);
    AppLog = nullptr;
    benchmark::DoNotOptimize(sink.Sum);
}
BENCHMARK(BM_DecodeStream)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
