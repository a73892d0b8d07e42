// The simulator as the program meets it: a separate process on a pseudo-terminal opened with
// QSerialPort, and the same beacon in process on a pty or on the in-memory test port.
#include "SimTestSupport.h"

#include "framework/qt/CvQtTimerService.h"
#include "protocol/QvCmdDefs.h"
#include "protocol/QvCmdProc.h"
#include "tests/serial/PtyPair.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestComPort.h"
#include "tools/simqt/QvSimHost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSerialPort>

#include <pugixml.hpp>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>

namespace {
using TSimProcess = TQvSimProcess;

// A serial port on the pseudo-terminal, reading whole reply lines with a bounded wait.
class TLinePort {
public:
    explicit TLinePort(const std::string& path)
        : fPort(QString::fromStdString(path))
    {
        Opened = fPort.open(QIODevice::ReadWrite);
    }

    void Write(const std::string& text)
    {
        fPort.write(text.data(), static_cast<qint64>(text.size()));
        fPort.waitForBytesWritten(1000);
    }

    // The next "$" line without CR LF, or "" when none completes within `ms`.
    std::string ReadLine(int ms = 3000)
    {
        QElapsedTimer t;
        t.start();
        while (true) {
            const size_t end = fBuffer.find("\r\n");
            if (end != std::string::npos) {
                std::string line = fBuffer.substr(0, end);
                fBuffer.erase(0, end + 2);
                return line;
            }
            const qint64 left = ms - t.elapsed();
            if (left <= 0 || !fPort.isOpen())
                return "";
            if (fPort.waitForReadyRead(static_cast<int>(left)))
                fBuffer += fPort.readAll().toStdString();
        }
    }

    // Waits up to `ms` for data and takes what came.
    void Poll(int ms)
    {
        fPort.waitForReadyRead(ms);
        fBuffer += fPort.readAll().toStdString();
    }

    std::string Ask(const std::string& request, int ms = 3000)
    {
        Write(request);
        return ReadLine(ms);
    }

    bool Opened = false;
    QSerialPort fPort;
    std::string fBuffer;
};

class SimProcess : public testing::Test {
protected:
    void SetUp() override
    {
        fDir = std::filesystem::temp_directory_path()
            / ("qv_sim_proc_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(fDir);
        std::filesystem::create_directories(fDir);
    }
    void TearDown() override { std::filesystem::remove_all(fDir); }
    std::string Path(const char* name) const { return (fDir / name).string(); }

    std::filesystem::path fDir;
};

struct TPackage {
    TSimInit Init;
    std::vector<std::vector<uint8_t>> Blocks;
};

// Reads back a package as the program would send it.
TPackage ReadPackage(const std::string& path)
{
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(path.c_str()));
    const pugi::xml_node target = doc.child("Firmware").child("Targets").first_child();
    TPackage p;
    p.Init.Section = static_cast<uint8_t>(target.attribute("Section").as_int());
    p.Init.PartNumber = static_cast<uint16_t>(target.attribute("PartNumber").as_uint());
    p.Init.RevMin = static_cast<uint8_t>(target.attribute("PartRevMin").as_uint());
    p.Init.RevMax = static_cast<uint8_t>(target.attribute("PartRevMax").as_uint());
    p.Init.SerialNumber = target.attribute("SerialNumber").as_uint();
    p.Init.Length = target.attribute("Length").as_uint();
    p.Init.Checksum = static_cast<uint32_t>(TCvConvert::HexToIntDef(target.attribute("Checksum").value(), 0));
    for (pugi::xml_node d : target.children("Data")) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(TCvConvert::HexToBytes(d.text().get(), bytes));
        p.Blocks.push_back(bytes);
    }
    return p;
}
} // namespace

TEST_F(SimProcess, SysInfoRoundTripShowsTheIdentityFromTheCommandLine)
{
    TSimProcess sim;
    const std::string pty = sim.Start({"--part", "2345", "--revision", "7", "--serial", "654321", "--flags-sys", "0x1234",
                                       "--flags-user", "0x00AB", "--boot-version", "1.9.77", "--app-checksum", "DEADBEEF",
                                       "--app-part", "3002", "--uptime", "500"});
    ASSERT_FALSE(pty.empty()) << sim.Stderr();
    TLinePort port(pty);
    ASSERT_TRUE(port.Opened);
    const std::string reply = port.Ask("#0281C1\r\n");
    const TQvCmdInfo info = SimDecode<TQvCmdMsgRxSysInfo>(reply).Info();
    EXPECT_EQ(+info.Section, 1);
    EXPECT_GE(+info.Uptime, 500u);
    EXPECT_EQ(+info.Hardware.PartNumber, 2345);
    EXPECT_EQ(+info.Hardware.PartRevision, 7);
    EXPECT_EQ(+info.Hardware.SerialNumber, 654321u);
    EXPECT_EQ(+info.Hardware.FlagsSys, 0x1234);
    EXPECT_EQ(+info.Hardware.FlagsUser, 0x00AB);
    EXPECT_EQ(+info.Boot.Version.Major, 1);
    EXPECT_EQ(+info.Boot.Version.Minor, 9);
    EXPECT_EQ(+info.Boot.Version.Build, 77);
    EXPECT_EQ(+info.App.PartNumber, 3002);
    EXPECT_EQ(+info.App.Checksum, 0xDEADBEEFu);
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(SimProcess, ProgrammesAPackedImageRebootsAndKeepsItInTheStateFile)
{
    const std::vector<uint8_t> image = SimTestImage(3000, 9);
    std::ofstream(Path("app.bin"), std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                           static_cast<std::streamsize>(image.size()));
    QProcess pack;
    pack.start(QvPackPath(), QvArgs({"--output", Path("app.fwx"), "--part", "2345", "--rev-min", "2", "--rev-max", "4",
                                "--serial", "654321", "--timestamp", "2026-01-01 00:00:00", Path("app.bin")}));
    ASSERT_TRUE(pack.waitForFinished(10000));
    ASSERT_EQ(pack.exitCode(), 0) << pack.readAllStandardError().toStdString();
    const TPackage pkg = ReadPackage(Path("app.fwx"));
    ASSERT_EQ(pkg.Blocks.size(), 12u);

    const std::vector<std::string> identity = {"--part", "2345", "--revision", "3", "--serial", "654321"};
    std::vector<std::string> args = identity;
    for (const char* a : {"--state", "", "--reboot-ms", "800", "--app-valid", "0"})
        args.push_back(a);
    args[identity.size() + 1] = Path("beacon.state");
    TSimProcess sim;
    const std::string pty = sim.Start(args);
    ASSERT_FALSE(pty.empty()) << sim.Stderr();
    {
        TLinePort port(pty);
        ASSERT_TRUE(port.Opened);
        EXPECT_EQ(+SimDecode<TQvCmdMsgRxSysInfo>(port.Ask(SimInfoRequest())).Info().Section, 0);
        EXPECT_EQ(SimStatusOf(port.Ask(SimEngRequest(3, "", {0, 0, 0, 0, 0x0042}))), CST_OK);
        EXPECT_EQ(SimStatusOf(port.Ask(SimInitRequest(pkg.Init))), CST_OK);
        for (const std::vector<uint8_t>& block : pkg.Blocks)
            ASSERT_EQ(SimStatusOf(port.Ask(SimBlockRequest(block))), CST_OK);
        EXPECT_EQ(SimStatusOf(port.Ask(SimUpdateRequest())), CST_OK);

        // Identification requests go unanswered while the beacon reboots.
        QElapsedTimer silence;
        silence.start();
        int unanswered = 0;
        std::string reply;
        while (reply.empty() && silence.elapsed() < 10000) {
            reply = port.Ask(SimInfoRequest(), 100);
            unanswered += reply.empty() ? 1 : 0;
        }
        EXPECT_GE(silence.elapsed(), 700) << "silent for about --reboot-ms";
        EXPECT_GE(unanswered, 1);
        const TQvCmdInfo info = SimDecode<TQvCmdMsgRxSysInfo>(reply).Info();
        EXPECT_EQ(+info.Section, 1);
        EXPECT_TRUE(info.App.Valid);
        EXPECT_EQ(+info.App.Checksum, pkg.Init.Checksum);
        EXPECT_EQ(+info.App.Checksum, TCvCrc::Crc32(image));
        EXPECT_LE(+info.Uptime, 2u);
    }
    EXPECT_EQ(sim.Stop(), 0) << sim.Stderr();

    TSimProcess second;
    const std::string pty2 = second.Start({"--state", Path("beacon.state")});
    ASSERT_FALSE(pty2.empty()) << second.Stderr();
    TLinePort port(pty2);
    const TQvCmdInfo info = SimDecode<TQvCmdMsgRxSysInfo>(port.Ask(SimInfoRequest())).Info();
    EXPECT_EQ(+info.Section, 1);
    EXPECT_TRUE(info.App.Valid);
    EXPECT_EQ(+info.App.Checksum, TCvCrc::Crc32(image));
    EXPECT_EQ(+info.Hardware.PartNumber, 2345);
    EXPECT_EQ(+info.Hardware.SerialNumber, 654321u);
    EXPECT_EQ(+info.Hardware.FlagsUser, 0x0042);
    EXPECT_EQ(second.Stop(SIGINT), 0);
}

TEST_F(SimProcess, ClosingTheDeviceEndsTheProcessWithoutAReply)
{
    TSimProcess sim;
    const std::string pty = sim.Start({"--close-at", "SYS_INFO:2"});
    ASSERT_FALSE(pty.empty());
    TLinePort port(pty);
    ASSERT_TRUE(port.Opened);
    EXPECT_NE(port.Ask(SimInfoRequest()), "");
    port.Write(SimInfoRequest());
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_NE(sim.Stderr().find("the device is closed"), std::string::npos);
    EXPECT_EQ(port.ReadLine(300), "");
}

TEST_F(SimProcess, LinkNamesThePtyUntilExitAndBadArgumentsExitWithUsageStatus)
{
    const std::string link = Path("beacon-link");
    {
        TSimProcess sim;
        const std::string pty = sim.Start({"--link", link});
        ASSERT_FALSE(pty.empty());
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty);
        TLinePort port(link);
        ASSERT_TRUE(port.Opened);
        EXPECT_NE(port.Ask(SimConfigRequest()), "");
        EXPECT_EQ(sim.Stop(SIGINT), 0);
        EXPECT_FALSE(std::filesystem::is_symlink(link));
    }
    {
        std::ofstream(Path("not-a-link")) << "keep me";
        TSimProcess sim;
        EXPECT_EQ(sim.Start({"--link", Path("not-a-link")}), "");
        EXPECT_EQ(sim.Wait(), 1);
        EXPECT_NE(sim.Stderr().find("not a symbolic link"), std::string::npos);
        EXPECT_TRUE(std::filesystem::is_regular_file(Path("not-a-link")));
    }
    {
        TSimProcess sim;
        EXPECT_EQ(sim.Start({"--part", "70000"}), "");
        EXPECT_EQ(sim.Wait(), 2);
        EXPECT_NE(sim.Stderr().find("--part"), std::string::npos);
    }
}

TEST(SimInProcess, BeaconOnAPtyAnswersAQSerialPort)
{
    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);
    TQvSimConfig config;
    config.State.Hardware.SerialNumber = 424242;
    TQvSimBeacon beacon(config);
    TQvSimHost host(beacon);
    std::string error;
    ASSERT_TRUE(host.OpenPty(error)) << error;
    // The slave stays usable across the program's opening and closing it.
    for (int round = 0; round < 2; ++round) {
        TLinePort port(host.DevicePath());
        ASSERT_TRUE(port.Opened);
        port.Write(SimInfoRequest());
        std::string reply;
        QElapsedTimer t;
        t.start();
        while (reply.empty() && t.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20); // the host's notifier runs here
            port.Poll(10);
            reply = port.ReadLine(0);
        }
        EXPECT_EQ(+SimDecode<TQvCmdMsgRxSysInfo>(reply).Info().Hardware.SerialNumber, 424242u) << round;
    }
}

TEST(SimInProcess, BeaconOnTheTestPortAnswersTheCommandProcessorOnTheManualClock)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    TQvSimConfig config;
    config.Baud = 115200;
    TQvSimBeacon beacon(config);
    TQvTestComPort port;
    port.SetOnWrite([&beacon](const std::string& text) { beacon.Input(text); });
    beacon.SetOnOutput(TCvEvent<TQvSimOutputParams>::FromFunction([&port](TQvSimOutputParams& p) {
        port.Receive(std::string(reinterpret_cast<const char*>(p.Data), p.Count));
    }));
    port.Open();

    TQvCmdProc proc;
    proc.SetComPort(&port);
    proc.RegisterCmd(CID_SYS_INFO, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysInfo>());
    int replies = 0;
    uint32_t serial = 0;
    proc.RegisterHandler(CID_SYS_INFO, TQvCmdProcExecuteDelegate::FromFunction([&](TQvCmdProcExecuteParams& p) {
        ++replies;
        serial = static_cast<TQvCmdMsgRxSysInfo*>(p.MsgRx)->Info().Hardware.SerialNumber;
    }));
    proc.SendMsg(TQvCmdMsgTx::ClassOf<TQvCmdMsgTxSysInfo>());
    port.DeliverPending();
    EXPECT_EQ(replies, 0) << "paced: nothing before the line time";
    clock.Advance(20); // 9 + 85 characters at 115200 baud take 8.2 ms
    port.DeliverPending();
    EXPECT_EQ(replies, 1);
    EXPECT_EQ(serial, TQvSimState::Defaults().Hardware.SerialNumber);
}

TEST_F(SimProcess, AttachesToAnExistingDeviceAndExitsWhenItGoesAway)
{
    TPtyPair line; // stands for a null-modem cable: the simulator takes one end
    ASSERT_TRUE(line.Valid());
    TSimProcess sim;
    EXPECT_EQ(sim.Start({"--device", line.SlavePath(), "--baud", "115200", "--verbose"}), line.SlavePath());
    ASSERT_TRUE(line.Send(SimInfoRequest()));
    std::string log;
    QElapsedTimer t;
    t.start();
    sim.Process().setReadChannel(QProcess::StandardError);
    while (log.find("TX $02") == std::string::npos && t.elapsed() < 5000) {
        sim.Process().waitForReadyRead(100);
        log += sim.Process().readAllStandardError().toStdString();
    }
    ASSERT_NE(log.find("RX #0281C1"), std::string::npos) << log;
    std::string reply;
    while (reply.find("\r\n") == std::string::npos && t.elapsed() < 5000) {
        sim.Process().waitForReadyRead(20); // bounded: the reply follows its log line within ms
        reply += line.ReadAvailable();
    }
    ASSERT_NE(reply.find("\r\n"), std::string::npos);
    SimDecode<TQvCmdMsgRxSysInfo>(reply.substr(0, reply.find("\r\n")));

    line.CloseMaster();
    line.ReleaseSlaveHold();
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_NE(sim.Stderr().find("the device went away"), std::string::npos);
}
