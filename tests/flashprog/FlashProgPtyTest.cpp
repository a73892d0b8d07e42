// End to end: a package made by the packer program is programmed over a real pseudo-terminal
// into the simulator program, on the Qt timer service; the whole log of the run is checked.
#include "flashprog/QvFlashProg.h"

#include "framework/CvFormat.h"
#include "framework/CvFoundation.h"
#include "framework/qt/CvQtTimerService.h"
#include "protocol/QvCmdProc.h"
#include "serial/ComPort.h"
#include "serial/ComSerialPort.h"
#include "tests/flashprog/FlashProgTestSupport.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const QString kSim = QStringLiteral(QV_BINARY_DIR "/tools/quorvan-beacon-sim");
const QString kPack = QStringLiteral(QV_BINARY_DIR "/tools/quorvan-fwx-pack");

// The simulator program on a pseudo-terminal; stopped when the test ends.
class TSimProcess {
public:
    explicit TSimProcess(const QStringList& args)
    {
        fProcess.setProgram(kSim);
        fProcess.setArguments(args);
        fProcess.start();
        if (!fProcess.waitForStarted(10000))
            return;
        // The first line of its output is the pseudo-terminal's path.
        while (!fProcess.canReadLine() && fProcess.waitForReadyRead(10000)) {
        }
        fPath = QString::fromUtf8(fProcess.readLine()).trimmed().toStdString();
    }
    ~TSimProcess()
    {
        fProcess.terminate();
        if (!fProcess.waitForFinished(5000))
            fProcess.kill();
        fProcess.waitForFinished(5000);
    }
    const std::string& Path() const { return fPath; }
    QString Errors() { return QString::fromUtf8(fProcess.readAllStandardError()); }

private:
    QProcess fProcess;
    std::string fPath;
};

} // namespace

TEST(QvFlashProgPty, PackerPackageProgramsTheSimulator)
{
    TFpTempDir dir;
    std::vector<uint8_t> image(1000);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    FwWriteFile(dir.File("app.bin"), std::string(image.begin(), image.end()));
    const uint32_t checksum = TCvCrc::Crc32(image);
    const std::string package = dir.File("app.fwx");
    QProcess pack;
    pack.start(kPack, {"--output", QString::fromStdString(package), "--block-size", "256", "--name", "Demo image",
                       "--timestamp", "2026-02-03 04:05:06", QString::fromStdString(dir.File("app.bin"))});
    ASSERT_TRUE(pack.waitForFinished(10000));
    ASSERT_EQ(pack.exitCode(), 0) << pack.readAllStandardError().toStdString();

    TSimProcess sim({"--reboot-ms", "500", "--part", "2001", "--revision", "2", "--serial", "123456", "--flags-sys",
                     "0x11", "--flags-user", "0x2", "--boot-part", "2002", "--boot-version", "1.2.3",
                     "--boot-checksum", "0x3C5A9E01", "--app-part", "2003", "--app-version", "3.1.4"});
    ASSERT_FALSE(sim.Path().empty()) << sim.Errors().toStdString();

    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);
    TFpLogCapture log;
    TComSerialPort port;
    TQvCmdProc proc;
    proc.SetComPort(&port);
    port.SetPort(sim.Path());
    port.SetBaudRate(br115200);
    port.Open();
    ASSERT_TRUE(port.Connected());
    {
        TQvFlashProg engine(&port, &proc);
        QEventLoop loop;
        std::vector<EQvFlashProgAction> actions;
        engine.SetOnAction(TQvFlashProgActionEvent::FromFunction([&](TQvFlashProgActionParams& p) {
            actions.push_back(p.Action);
            if (p.Action == FP_ACTION_DONE || p.Action == FP_ACTION_ERROR)
                loop.quit();
        }));
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        ASSERT_EQ(engine.DeviceProgram(package), FP_OK);
        loop.exec();
        ASSERT_FALSE(actions.empty());
        EXPECT_EQ(actions.back(), FP_ACTION_DONE) << log.Dump() << sim.Errors().toStdString();
        EXPECT_EQ(engine.State(), FP_IDLE);
    }
    port.Close();

    const std::string lower = CvFormat("%08x", checksum);
    std::vector<std::string> lines = log.Lines();
    // The uptime is whatever the rebooted beacon counts: only its form is fixed.
    const auto uptime = std::find_if(lines.begin(), lines.end(),
                                     [](const std::string& l) { return l.rfind("INFO Uptime = ", 0) == 0; });
    ASSERT_NE(uptime, lines.end());
    EXPECT_TRUE(uptime->size() > 22 && uptime->substr(uptime->size() - 8) == " seconds") << *uptime;
    *uptime = "INFO Uptime = (any) seconds";
    EXPECT_EQ(lines, FpLogged(std::vector<std::string>{
                         "INFO Programming firmware from file \"" + package + "\"...",
                         "INFO Firmware sucessfully loaded...",
                         "INFO Target = Device 0, Section 1",
                         "INFO Name = \"Demo image\"",
                         "INFO Timestamp = 2026-02-03 04:05:06",
                         "INFO DataFormat = 0",
                         "INFO Length = 1000 bytes (in 4 blocks)",
                         "INFO Checksum = 0x" + lower,
                         "INFO Signature = 0x",
                         "INFO Device initialising...",
                         "INFO Device initialised.",
                         "INFO Device transfering block 0 (25.0%)...",
                         "INFO Device transfering block 1 (50.0%)...",
                         "INFO Device transfering block 2 (75.0%)...",
                         "INFO Device transfering block 3 (100.0%)...",
                         "INFO Device programming...",
                         "INFO Device program updating and rebooting...",
                         "INFO Device identification requested (attempt 1/5)...",
                         "INFO Device identifying...",
                         "INFO Device information...",
                         "INFO Uptime = (any) seconds",
                         "INFO Run Section = APPLICATION (1)",
                         "INFO Hardware Part Number = CV02001",
                         "INFO Hardware Revision = 2",
                         "INFO Hardware Serial Number = 123456",
                         "INFO Hardware Flags Sys = 0x0011",
                         "INFO Hardware Flags User = 0x0002",
                         "INFO Bootloader Valid = True",
                         "INFO Bootloader Part Number = CV02002",
                         "INFO Bootloader Version = v1.2.3",
                         "INFO Bootloader Checksum = 0x3c5a9e01",
                         "INFO Application Valid = True",
                         "INFO Application Part Number = CV02003",
                         "INFO Application Version = v3.1.4",
                         "INFO Application Checksum = 0x" + lower,
                         "INFO Completed.",
                     }));
}
