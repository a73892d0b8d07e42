// Stations side by side in one process: each one's port, processor, engine and timers work on
// their own, each writes to its own log sink, and tearing one down in any order is safe.
#include "flashprog/QvStation.h"

#include "flashprog/QvFlashProg.h"
#include "framework/CvLogSink.h"
#include "protocol/QvCmdProc.h"
#include "protocol/QvCmdSys.h"
#include "serial/CvComPort.h"
#include "tests/flashprog/FlashProgTestSupport.h"
#include "tools/fwxpack/QvFwxPack.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

// Collects "TAG text" lines from any number of writers.
class TLinesSink : public TCvLogSink {
public:
    void Add(TCvAppLogMsgType type, const std::string& msg) override
    {
        Lines.push_back(TCvAppLog::MsgTypeStr(type) + " " + msg);
    }
    std::vector<std::string> Lines;
};

// The lines that start with `prefix`, without it.
std::vector<std::string> Stripped(const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        const size_t space = line.find(' ');
        if (line.compare(space + 1, prefix.size(), prefix) == 0)
            out.push_back(line.substr(0, space + 1) + line.substr(space + 1 + prefix.size()));
    }
    return out;
}

std::string WritePackage(const TFpTempDir& dir, size_t blocks)
{
    std::vector<uint8_t> image(4 * blocks);
    std::iota(image.begin(), image.end(), uint8_t{3});
    TQvFwxPackOptions options;
    options.BlockSize = 4;
    options.Name = "Station image";
    options.Timestamp = "2026-03-04 05:06:07";
    std::string error;
    const std::string path = dir.File("station.fwx");
    EXPECT_TRUE(TQvFwxPack::WriteFile(path, image, options, error)) << error;
    return path;
}

// A station on an in-memory port with a simulated beacon at the far end.
struct TBench {
    TBench(const std::string& name, TCvLogSink* sink)
    {
        auto port = std::make_unique<TQvTestComPort>();
        Port = port.get();
        Station = std::make_unique<TQvStation>(std::move(port), sink);
        TQvSimConfig config;
        config.RebootMs = 3000;
        Beacon = std::make_unique<TQvSimBeacon>(config);
        Beacon->SetOnOutput(TCvEvent<TQvSimOutputParams>::FromFunction([this](TQvSimOutputParams& p) {
            Port->Receive(std::string(reinterpret_cast<const char*>(p.Data), p.Count));
        }));
        Port->SetOnWrite([this](const std::string& text) {
            if (Answering)
                Beacon->Input(text);
        });
        Settings.SetPortName(name);
    }
    ~TBench() { Port->SetOnWrite(nullptr); }

    TCvComSettings Settings;
    TQvTestComPort* Port = nullptr;
    std::unique_ptr<TQvStation> Station;
    std::unique_ptr<TQvSimBeacon> Beacon;
    bool Answering = true;
};

// Moves the manual clock on, delivering what each step made happen on every port.
void RunAll(TCvManualClock& clock, const std::vector<TBench*>& benches, uint64_t ms)
{
    FpAdvance(clock, ms, [&] {
        for (bool again = true; again;) {
            again = false;
            for (TBench* b : benches)
                while (b->Port->DeliverPending())
                    again = true;
        }
    });
}

} // namespace

// Two stations program at the same time. One beacon never answers: its station times out and
// aborts on its own clock, while the other completes with exactly the lines of a run alone.
// Every line names its port.
TEST(QvStation, StationsRunSideBySideEachWithItsOwnLog)
{
    TFpTempDir dir;
    const std::string path = WritePackage(dir, 3);
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);

    TLinesSink alone;
    {
        TBench solo("/dev/ttyS0", &alone);
        ASSERT_TRUE(solo.Station->Connect(solo.Settings));
        ASSERT_EQ(solo.Station->FlashProg()->DeviceProgram(path), FP_OK);
        RunAll(clock, {&solo}, 20000);
        ASSERT_EQ(alone.Lines.back(), "INFO Completed.");
    }

    TLinesSink all;
    TCvPrefixLogSink sinkA(all, "[/dev/ttyS0] ");
    TCvPrefixLogSink sinkB(all, "[/dev/ttyS1] ");
    TBench a("/dev/ttyS0", &sinkA);
    TBench b("/dev/ttyS1", &sinkB);
    b.Answering = false;
    ASSERT_TRUE(a.Station->Connect(a.Settings));
    ASSERT_TRUE(b.Station->Connect(b.Settings));
    ASSERT_EQ(a.Station->FlashProg()->DeviceProgram(path), FP_OK);
    ASSERT_EQ(b.Station->FlashProg()->DeviceProgram(path), FP_OK);
    RunAll(clock, {&a, &b}, 20000);

    EXPECT_EQ(a.Station->FlashProg()->State(), FP_IDLE);
    EXPECT_EQ(b.Station->FlashProg()->State(), FP_IDLE);
    EXPECT_EQ(Stripped(all.Lines, "[/dev/ttyS0] "), alone.Lines);
    const std::vector<std::string> linesB = Stripped(all.Lines, "[/dev/ttyS1] ");
    ASSERT_GE(linesB.size(), 3u);
    EXPECT_EQ(linesB[linesB.size() - 2], "ERROR Timed out waiting for device to reply.");
    EXPECT_EQ(linesB.back(), "ERROR Aborted.");
    EXPECT_EQ(Stripped(all.Lines, "[/dev/ttyS0] ").size() + linesB.size(), all.Lines.size());
    EXPECT_EQ(a.Beacon->Image().size(), 12u);
    EXPECT_TRUE(b.Beacon->Image().empty() || !b.Beacon->State().App.Valid);

    a.Station->Disconnect();
    EXPECT_EQ(all.Lines.back(), "INFO [/dev/ttyS0] Closed serial port \"/dev/ttyS0\".");
    // The port's own line (a lost device) goes to its station's sink too.
    b.Port->Lose();
    EXPECT_EQ(all.Lines.back(), "ERROR [/dev/ttyS1] Serial port '/dev/ttyS1' was lost.");
}

TEST(QvStation, ConnectFailureGivesTheLineAndTheReason)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    TLinesSink sink;
    TBench bench("/dev/ttyUSB7", &sink);
    struct TCase {
        int32_t WinCode;
        std::string Detail;
    };
    for (const TCase& c : {TCase{2, "No such device: is the beacon's adapter plugged in?"},
                           TCase{16, "The device is busy: is another program using /dev/ttyUSB7?"}}) {
        bench.Port->SetOpenError(c.WinCode);
        TQvStationFailure failure;
        EXPECT_FALSE(bench.Station->Connect(bench.Settings, &failure));
        EXPECT_EQ(failure.Text, "The serial port \"/dev/ttyUSB7\" is not available, and cannot be opened.");
        EXPECT_EQ(failure.Detail, c.Detail);
        EXPECT_EQ(sink.Lines.back(), "ERROR " + failure.Text);
    }
    bench.Port->SetOpenError(0);
    EXPECT_TRUE(bench.Station->Connect(bench.Settings));
    EXPECT_EQ(sink.Lines.back(), "INFO Opened serial port \"/dev/ttyUSB7\", with settings \"/dev/ttyUSB7-9600-8-1-N\".");
}

// Handlers leave the processor with their engine, and a processor or port that goes first
// leaves nothing behind that a later teardown would touch.
TEST(QvStation, TeardownInAnyOrder)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    const std::vector<EQvCmdId> replies{CID_SYS_INFO,     CID_SYS_ENGINEERING, CID_PROG_INIT,
                                        CID_PROG_BLOCK,   CID_PROG_UPDATE,     CID_CONFIG_GET};
    {
        TQvTestComPort port;
        TQvCmdProc proc;
        proc.SetComPort(&port);
        auto engine = std::make_unique<TQvFlashProg>(&port, &proc);
        auto second = std::make_unique<TQvFlashProg>(&port, &proc);
        for (EQvCmdId id : replies)
            ASSERT_EQ(proc.Entry(id)->CmdDelegates.size(), 2u);
        engine.reset();
        for (EQvCmdId id : replies) {
            ASSERT_EQ(proc.Entry(id)->CmdDelegates.size(), 1u);
            EXPECT_EQ(proc.Entry(id)->CmdDelegates[0].Object(), second.get());
        }
    }
    {
        auto port = std::make_unique<TQvTestComPort>();
        auto proc = std::make_unique<TQvCmdProc>();
        proc->SetComPort(port.get());
        auto engine = std::make_unique<TQvFlashProg>(port.get(), proc.get());
        proc.reset(); // the engine's registrations now have nothing to undo
        port.reset(); // nor has the processor's binding
        engine.reset();
    }
    {
        auto port = std::make_unique<TQvTestComPort>();
        TQvCmdProc proc;
        proc.SetComPort(port.get());
        EXPECT_TRUE(static_cast<bool>(port->OnRxChar()));
        port.reset();
        EXPECT_EQ(proc.ComPort(), nullptr);
        TQvCmdMsgTxSysInfo msg;
        proc.SendMsg(msg); // dropped, as on a closed port
    }
}
