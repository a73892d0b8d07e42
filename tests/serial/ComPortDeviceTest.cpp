// TComPort on real pseudo-terminals: open errors, events, delivery, reads and writes, line
// settings reaching the device, a device that goes away, and the bounded output queue.
#include "serial/ComPort.h"
#include "serial/ComSerialPort.h"
#include "tests/framework/FwTestSupport.h"
#include "tests/serial/PtyPair.h"

#include "framework/CvAppLog.h"
#include "framework/CvTimer.h"
#include "framework/qt/CvQtTimerService.h"

#include <QCoreApplication>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 3000;

// Records the port's events with the Connected state each handler saw.
struct TEventLog {
    std::vector<bool> opened;  // Connected as seen by OnAfterOpen
    std::vector<bool> closed;  // Connected as seen by OnAfterClose
    std::vector<int32_t> rxCounts;
    std::string received;
    bool readInHandler = true;
    std::function<void(TComPort&, int32_t)> onRx;

    void Attach(TComPort& port)
    {
        port.SetOnAfterOpen(TComNotifyEvent::FromFunction(
            [this](TComNotifyParams& p) { opened.push_back(p.Sender->Connected()); }));
        port.SetOnAfterClose(TComNotifyEvent::FromFunction(
            [this](TComNotifyParams& p) { closed.push_back(p.Sender->Connected()); }));
        port.SetOnRxChar(TRxCharEvent::FromFunction([this](TComRxCharParams& p) {
            rxCounts.push_back(p.Count);
            if (readInHandler) {
                std::string chunk;
                p.Sender->ReadStr(chunk, p.Count);
                received += chunk;
            }
            if (onRx)
                onRx(*p.Sender, p.Count);
        }));
    }
};

// A real application log installed as AppLog, its entries collected as "TAG text".
struct TLogCapture {
    TLogCapture()
    {
        log.SetOnAdd(TCvAppLogAddEvent::FromFunction([this](TCvAppLogAddParams& p) {
            lines.push_back(TCvAppLog::MsgTypeStr(p.MsgType) + " " + p.Msg);
        }));
        AppLog = &log;
    }
    ~TLogCapture()
    {
        log.SetOnAdd({});
        AppLog = nullptr;
    }
    TFwTempDir dir;
    TCvAppLog log{dir.File("test.log")};
    std::vector<std::string> lines;
};

double ProcessCpuMs()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0
        + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
}

class ComPortDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Valid());
        port.SetPort(pty.SlavePath());
        events.Attach(port);
    }

    // Reads from the far end until `size` bytes arrived or the time-out passed.
    std::string FarEndRead(size_t size)
    {
        std::string out;
        (void)QTest::qWaitFor(
            [&] {
                out += pty.ReadAvailable();
                return out.size() >= size;
            },
            kWaitMs);
        return out;
    }

    TCvQtTimerService timers;
    TCvTimerServiceScope timerScope{&timers};
    TPtyPair pty;
    TEventLog events; // outlives the port, whose destruction raises OnAfterClose
    TComSerialPort port;
};

} // namespace

TEST(ComPortOpenErrors, DeviceThatCannotBeOpenedRaisesCodeOneWithTheSystemNumber)
{
    const std::string regularFile = std::string(QV_BINARY_DIR) + "/comport-not-a-device.txt";
    std::ofstream(regularFile) << "x";
    struct TCase {
        std::string port;
        int32_t winCode;
    } cases[] = {
        {"/dev/qv-no-such-device", ENOENT},
        {"qv-no-such-device", ENOENT}, // a bare name is looked up under /dev
        {"", ENOENT},
        {regularFile, ENODEV},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.port);
        TEventLog events;
        TComSerialPort port;
        events.Attach(port);
        port.SetPort(c.port);
        try {
            port.Open();
            FAIL() << "Open succeeded";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.Code(), CE_OpenFailed);
            EXPECT_EQ(e.WinCode(), c.winCode);
            EXPECT_EQ(std::string(e.what()),
                      "Unable to open com port (Error: " + std::to_string(c.winCode) + ")");
        }
        EXPECT_FALSE(port.Connected());
        EXPECT_TRUE(events.opened.empty());
        port.Close(); // still closed: nothing happens
        EXPECT_TRUE(events.closed.empty());
    }
    std::remove(regularFile.c_str());
}

TEST_F(ComPortDeviceTest, PortIsExclusiveSoASecondOpenIsBusy)
{
    port.Open();
    TComSerialPort other;
    other.SetPort(pty.SlavePath());
    try {
        other.Open();
        FAIL() << "second open succeeded";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), CE_OpenFailed);
        EXPECT_EQ(e.WinCode(), EBUSY);
    }
    EXPECT_FALSE(other.Connected());
    EXPECT_TRUE(port.Connected());
    port.Close();
    EXPECT_NO_THROW(other.Open()); // released by the close
}

TEST_F(ComPortDeviceTest, OpenAndCloseRaiseTheirEventsOnceWithTheNewState)
{
    port.Open();
    port.Open();
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(events.opened, std::vector<bool>{true});
    port.Close();
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(events.closed, std::vector<bool>{false});
    port.Open(); // a closed port opens again
    EXPECT_EQ(events.opened.size(), 2u);

    TPtyPair other; // a new name while open moves the open port to that device
    ASSERT_TRUE(other.Valid());
    port.SetPort(other.SlavePath());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(events.closed.size(), 2u);
    EXPECT_EQ(events.opened.size(), 3u);
    ASSERT_TRUE(other.Send("$moved"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.received == "$moved"; }, kWaitMs));
}

TEST_F(ComPortDeviceTest, BurstWaitingBeforeDeliveryArrivesAsOneEventWithTheWholeCount)
{
    port.Open();
    const std::string burst = "$0100112233445566778899AABBCCDDEEFF0011223344556677\r\n";
    ASSERT_TRUE(pty.Send(burst));
    bool sentMore = false;
    events.onRx = [&](TComPort&, int32_t) {
        if (!sentMore) { // bytes arriving during the handler give a further event
            sentMore = true;
            pty.Send("$tail");
        }
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.received.size() >= burst.size() + 5; }, kWaitMs));
    ASSERT_EQ(events.rxCounts.size(), 2u);
    EXPECT_EQ(events.rxCounts[0], static_cast<int32_t>(burst.size()));
    EXPECT_EQ(events.rxCounts[1], 5);
    EXPECT_EQ(events.received, burst + "$tail");
}

TEST_F(ComPortDeviceTest, BytesLeftUnreadStayWaitingAndReadStrOfZeroReadsNothing)
{
    events.readInHandler = false;
    port.Open();
    ASSERT_TRUE(pty.Send("ABCDEF"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.rxCounts.empty(); }, kWaitMs));
    std::string str = "stale";
    EXPECT_EQ(port.ReadStr(str, 0), 0);
    EXPECT_EQ(str, "");
    EXPECT_EQ(port.ReadStr(str, -3), 0);
    EXPECT_EQ(port.InputCount(), 6);
    EXPECT_EQ(port.ReadStr(str, 4), 4);
    EXPECT_EQ(str, "ABCD");
    EXPECT_EQ(port.ReadStr(str, 100), 2); // never waits for more than is there
    EXPECT_EQ(str, "EF");
    EXPECT_EQ(port.ReadStr(str, 100), 0);
    EXPECT_EQ(str, "");
}

TEST_F(ComPortDeviceTest, ClearBufferDiscardsWaitingInput)
{
    events.readInHandler = false;
    port.Open();
    ASSERT_TRUE(pty.Send("garbage"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.InputCount() == 7; }, kWaitMs));
    port.ClearBuffer(true, true);
    EXPECT_EQ(port.InputCount(), 0);
}

TEST_F(ComPortDeviceTest, WriteStrSendsTheWholeLine)
{
    port.Open();
    const std::string line = "#0100ABCD\r\n";
    EXPECT_EQ(port.WriteStr(line), static_cast<int32_t>(line.size()));
    EXPECT_EQ(port.WriteStr(""), 0);
    EXPECT_EQ(FarEndRead(line.size()), line);
}

TEST_F(ComPortDeviceTest, ClosedPortRefusesReadsAndWrites)
{
    std::string str;
    for (const std::function<void()>& op : std::vector<std::function<void()>>{
             [&] { port.ReadStr(str, 5); },
             [&] { port.WriteStr("#01\r\n"); },
         }) {
        try {
            op();
            FAIL() << "no error";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.Code(), CEPortNotOpen);
            EXPECT_EQ(e.WinCode(), -1);
            EXPECT_STREQ(e.what(), "Port Not Open");
        }
    }
    EXPECT_EQ(port.ReadStr(str, 0), 0); // nothing to read is never an error
}

TEST_F(ComPortDeviceTest, LineSettingsReachTheDeviceAtOpenAndWhenChangedWhileOpen)
{
    struct TCase {
        const char* name;
        std::function<void(TComPort&)> set;
        std::function<bool(const termios&)> check;
    } cases[] = {
        {"115200 8N1 no flow",
         [](TComPort& p) {
             p.SetBaudRate(br115200);
             p.FlowControl().SetFlowControl(fcNone);
         },
         [](const termios& t) {
             return cfgetospeed(&t) == B115200 && (t.c_cflag & CSIZE) == CS8
                 && !(t.c_cflag & (PARENB | CSTOPB | CRTSCTS)) && !(t.c_iflag & (IXON | IXOFF));
         }},
        {"custom rate runs at CustomBaudRate",
         [](TComPort& p) { p.SetBaudRate(brCustom); },
         [](const termios& t) { return cfgetospeed(&t) == B9600; }},
        {"custom rate changed",
         [](TComPort& p) {
             p.SetBaudRate(brCustom);
             p.SetCustomBaudRate(57600);
         },
         [](const termios& t) { return cfgetospeed(&t) == B57600; }},
        {"2 stop bits at 19200",
         [](TComPort& p) {
             p.SetBaudRate(br19200);
             p.SetStopBits(sbTwoStopBits);
         },
         [](const termios& t) { return cfgetospeed(&t) == B19200 && (t.c_cflag & CSTOPB); }},
        {"hardware flow control",
         [](TComPort& p) { p.FlowControl().SetFlowControl(fcHardware); },
         [](const termios& t) { return (t.c_cflag & CRTSCTS) && !(t.c_iflag & (IXON | IXOFF)); }},
        {"software flow control",
         [](TComPort& p) { p.FlowControl().SetFlowControl(fcSoftware); },
         [](const termios& t) {
             return !(t.c_cflag & CRTSCTS) && (t.c_iflag & IXON) && (t.c_iflag & IXOFF);
         }},
    };
    auto deviceSettings = [&] {
        termios t {};
        EXPECT_EQ(tcgetattr(pty.SlaveFd(), &t), 0);
        return t;
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            { // applied at open
                TComSerialPort p;
                p.SetPort(pty.SlavePath());
                c.set(p);
                p.Open();
                EXPECT_TRUE(c.check(deviceSettings()));
            }
            { // applied at once while open
                TComSerialPort p;
                p.SetPort(pty.SlavePath());
                p.Open();
                c.set(p);
                EXPECT_TRUE(c.check(deviceSettings()));
            }
        } catch (const EComPort& e) {
            ADD_FAILURE() << e.what();
        }
    }
}

// A pseudo-terminal carries only 8-bit characters, and 1.5 stop bits exist only
// for 5-bit characters: such settings are refused, and the refused open releases the device.
TEST_F(ComPortDeviceTest, SettingsTheDeviceRefusesLeaveThePortClosed)
{
    const std::function<void(TComPort&)> refused[] = {
        [](TComPort& p) { p.SetStopBits(sbOne5StopBits); },
        [](TComPort& p) { p.SetDataBits(dbSeven); },
    };
    for (const auto& set : refused) {
        TEventLog log;
        TComSerialPort p;
        log.Attach(p);
        p.SetPort(pty.SlavePath());
        set(p);
        try {
            p.Open();
            ADD_FAILURE() << "open succeeded";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.Code(), CE_SetStateFailed);
        }
        EXPECT_FALSE(p.Connected());
        EXPECT_TRUE(log.opened.empty());
    }
    port.Open(); // nothing was left holding the device
    EXPECT_TRUE(port.Connected());
    EXPECT_THROW(port.SetDataBits(dbSix), EComPort); // refused while open, too
}

TEST_F(ComPortDeviceTest, DeviceThatGoesAwayStopsDeliveringWithoutSpinningAndStaysClosable)
{
    TLogCapture log;
    port.Open();
    ASSERT_TRUE(pty.Send("$01"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.received == "$01"; }, kWaitMs));
    pty.ReleaseSlaveHold();
    pty.CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !port.Connected(); }, kWaitMs));
    EXPECT_TRUE(port.DeviceLost());
    EXPECT_EQ(events.closed, std::vector<bool>{false});

    const double cpuBefore = ProcessCpuMs();
    QTest::qWait(300); // idle: a port that kept polling the dead device would burn this time
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 100.0);
    EXPECT_EQ(events.rxCounts.size(), 1u);
    // The loss is logged once, naming the port.
    EXPECT_EQ(log.lines, std::vector<std::string>{"ERROR Serial port '" + pty.SlavePath() + "' was lost."});

    EXPECT_NO_THROW(port.Close());
    EXPECT_THROW(port.WriteStr("#01\r\n"), EComPort);

    TPtyPair fresh; // the port works again on a new device
    ASSERT_TRUE(fresh.Valid());
    port.SetPort(fresh.SlavePath());
    port.Open();
    EXPECT_FALSE(port.DeviceLost());
    ASSERT_TRUE(fresh.Send("$02"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.received == "$01$02"; }, kWaitMs));
}

// The device fails while the port still holds it open: the write that meets the failure
// raises it, and the port owes nothing to the next write.
TEST_F(ComPortDeviceTest, WriteToAFailedDeviceRaisesFromThatWrite)
{
    port.Open();
    EXPECT_EQ(port.WriteStr("#01\r\n"), 5);
    EXPECT_EQ(FarEndRead(5), "#01\r\n");
    pty.ReleaseSlaveHold();
    pty.CloseMaster(); // no pass of the event loop between this and the write
    try {
        port.WriteStr("#02\r\n");
        ADD_FAILURE() << "the write succeeded";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), CE_WriteFailed);
        EXPECT_GT(e.WinCode(), 0);
    }
}

// What was written leaves the line at the port's rate and frame; the time is counted on the
// timer service's clock, queues behind earlier writes and ends with a purge or a close.
TEST(ComPortLineTime, WritesOccupyTheLineForTheirCharactersAtTheRate)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    TPtyPair pty;
    ASSERT_TRUE(pty.Valid());
    TComSerialPort port;
    port.SetPort(pty.SlavePath());
    port.SetBaudRate(br9600);
    port.Open();
    EXPECT_EQ(port.LineBusyMs(), 0u);
    port.WriteStr(std::string(960, 'x')); // 9600 bits at 8N1: one second
    EXPECT_EQ(port.LineBusyMs(), 1000u);
    clock.Advance(400);
    port.WriteStr(std::string(96, 'y')); // queues behind the rest of the first
    EXPECT_EQ(port.LineBusyMs(), 700u);
    clock.Advance(700);
    EXPECT_EQ(port.LineBusyMs(), 0u);
    port.WriteStr(std::string(480, 'z'));
    port.ClearBuffer(false, true);
    EXPECT_EQ(port.LineBusyMs(), 0u);
    port.WriteStr(std::string(480, 'z'));
    port.Close();
    EXPECT_EQ(port.LineBusyMs(), 0u);
}

TEST(ComPortLineTime, FrameAndRateSetTheTimeOfACharacter)
{
    struct TCase {
        TBaudRate rate;
        uint32_t custom;
        TDataBits data;
        TParityBits parity;
        TStopBits stop;
        double bits;  // a character on the line
        double msFor1000;
    };
    const TCase cases[] = {
        {br9600, 0, dbEight, prNone, sbOneStopBit, 10, 1041.6667},
        {br4800, 0, dbEight, prEven, sbOneStopBit, 11, 2291.6667},
        {br115200, 0, dbSeven, prOdd, sbTwoStopBits, 11, 95.4861},
        {br110, 0, dbFive, prNone, sbOne5StopBits, 7.5, 68181.818},
        {brCustom, 250000, dbEight, prMark, sbTwoStopBits, 12, 48},
        {brCustom, 0, dbEight, prNone, sbOneStopBit, 10, 0}, // no rate: no line time
    };
    for (const TCase& c : cases) {
        TComSerialPort port; // closed: the settings are only stored
        port.SetBaudRate(c.rate);
        port.SetCustomBaudRate(c.custom);
        port.SetDataBits(c.data);
        port.Parity().SetBits(c.parity);
        port.SetStopBits(c.stop);
        EXPECT_DOUBLE_EQ(port.CharBits(), c.bits) << BaudRateToText(c.rate);
        EXPECT_NEAR(port.LineTimeMs(1000), c.msFor1000, 0.001) << BaudRateToText(c.rate);
    }
}

TEST(ComPortOutputQueue, DeviceThatStopsReadingCannotGrowTheQueueAndStaleBytesAreDropped)
{
    TCvManualClock clock; // the write deadline runs on simulated time
    TCvTimerServiceScope scope(&clock);
    TPtyPair pty;
    ASSERT_TRUE(pty.Valid());
    TComSerialPort port;
    port.SetPort(pty.SlavePath());
    port.Open();

    // Nobody reads the far end: once the pseudo-terminal's own buffer is full, bytes pile up
    // in the port's queue until it refuses more.
    const std::string chunk(16 * 1024, 'x');
    int64_t accepted = 0;
    int32_t refusal = 0;
    while (accepted < 64 * TComPort::OutputQueueLimit) {
        try {
            accepted += port.WriteStr(chunk);
        } catch (const EComPort& e) {
            EXPECT_EQ(e.Code(), CE_WriteFailed);
            refusal = e.WinCode();
            break;
        }
        QCoreApplication::processEvents(); // lets the port hand what it can to the device
    }
    EXPECT_EQ(refusal, ENOBUFS);
    EXPECT_TRUE(port.Connected());
    EXPECT_THROW(port.WriteStr(std::string(TComPort::OutputQueueLimit + 1, 'y')), EComPort);

    // The write time-out expires: what the device never took is discarded.
    ASSERT_GT(clock.NextDueIn(), 0);
    clock.Advance(static_cast<uint64_t>(clock.NextDueIn()));
    // Only what the pseudo-terminal had already taken is left to arrive; the port sends
    // nothing older than the next line.
    const std::string drained = pty.ReadAvailable();
    EXPECT_EQ(drained.find_first_not_of('x'), std::string::npos);
    EXPECT_EQ(port.WriteStr("#end\r\n"), 6);
    std::string tail;
    (void)QTest::qWaitFor(
        [&] {
            tail += pty.ReadAvailable();
            return tail.find("#end\r\n") != std::string::npos;
        },
        kWaitMs);
    EXPECT_LT(static_cast<int64_t>(drained.size() + tail.size()), accepted);
    EXPECT_EQ(tail, "#end\r\n");
}
