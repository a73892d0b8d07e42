// The headless commands, each run as a process against the simulator process on its
// pseudo-terminal, with the program copied into a temporary folder so its settings, log and
// lock file live there; also several runs at once, sharing the log and refused a held port.
#include "app/QvHeadless.h"
#include "framework/CvFiles.h"

#include "tests/app/HeadlessFixture.h"

#include <QLockFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace {

class QvHeadlessTest : public QvHeadlessFixture {
protected:
    // Starts the program without waiting for it (runs side by side).
    void StartRun(QProcess& proc, const std::vector<std::string>& args)
    {
        QvCloseOnExecAll();
        proc.start(QString::fromStdString(fExe), QvArgs(args));
        ASSERT_TRUE(proc.waitForStarted(10000));
    }
    // Waits for a started program to end; its exit status, or -1. Its output goes to `out`.
    static int FinishRun(QProcess& proc, std::string& out)
    {
        const bool ended = proc.waitForFinished(60000);
        out += proc.readAllStandardOutput().toStdString();
        return ended && proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -1;
    }
};

// A Beacon Config File with a hardware identity to write.
const char* const kBeaconConfig =
    "[Hardware]\nLoad=1\nPartNumber=1520\nPartRevision=3\nSerialNumber=777\nFlagsSys=0\nFlagsUser=5\n";

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The texts of a log file's entries ("1,date,INFO,'text'" -> "text").
std::vector<std::string> LogTexts(const std::string& file)
{
    std::vector<std::string> texts;
    for (const std::string& line : Lines(file)) {
        const size_t open = line.find(",\"");
        if (open != std::string::npos && line.size() > open + 3)
            texts.push_back(line.substr(open + 2, line.find_last_of('"') - open - 2));
    }
    return texts;
}

} // namespace

TEST_F(QvHeadlessTest, ArgumentsAndUsage)
{
    struct Case {
        std::vector<std::string> args;
        int exit;
        const char* inErr;
    };
    const std::vector<Case> cases = {
        {{"--help"}, 0, ""},
        {{"program"}, 1, "takes one file"},
        {{"info", "extra"}, 1, "Unexpected argument"},
        {{"info", "/LOG = OFF"}, 1, "Unexpected argument \"/LOG = OFF\"."},
        {{"info", "-FROB"}, 1, "Unknown switch"},
        {{"info", "-PORT"}, 1, "needs a value"},
        {{"info", "-PORT="}, 1, "needs a value"},
        {{"info", "-BAUD=12345"}, 1, "The baud rate \"12345\" is not supported. Supported rates: 110, 300,"},
        {{"ports", "/BAUD:fast"}, 1, "The baud rate \"fast\" is not supported."},
    };
    for (const Case& c : cases) {
        const TQvRunResult r = Run(c.args);
        EXPECT_EQ(r.ExitCode, c.exit) << c.args[0];
        EXPECT_TRUE(QvHas(r.Err, c.inErr)) << r.Err;
        EXPECT_TRUE(QvHas(c.exit == 0 ? r.Out : r.Err, "Exit status:")) << c.args[0];
    }
    // Parsing keeps device paths apart from "/" switches.
    const TQvHeadlessArgs a = QvParseHeadlessArgs({"program", "/tmp/a.fwx", "/PORT=/dev/ttyUSB0", "-trace"});
    EXPECT_EQ(a.Command, "program");
    EXPECT_EQ(a.File, "/tmp/a.fwx");
    EXPECT_TRUE(a.Trace);
    EXPECT_EQ(a.Error, "");

    // Without a known command the desktop program starts: it ignores what it does not know
    // (the core picks up a bare package itself), but not a baud rate it cannot use.
    struct DesktopCase {
        std::vector<std::string> args;
        const char* error;
    };
    const std::vector<DesktopCase> desktop = {
        {{}, ""},
        {{"-FOO", "/LOG = OFF", "firmware.fwx", "flash"}, ""},
        {{"/tmp/a.fwx", "-PORT", "-BAUD=", "-MIN"}, ""},
        {{"-PORT=/dev/pts/3", "-BAUD=57600"}, ""},
        {{"-FOO", "-BAUD=57601"}, "The baud rate \"57601\" is not supported."},
        {{"-BAUD:110x"}, "The baud rate \"110x\" is not supported."},
    };
    for (const DesktopCase& c : desktop) {
        const TQvHeadlessArgs d = QvParseHeadlessArgs(c.args);
        const std::string shown = c.args.empty() ? "" : c.args.back();
        EXPECT_EQ(d.Command, "") << shown;
        EXPECT_EQ(d.Error.substr(0, std::string(c.error).size()), c.error) << shown;
        EXPECT_EQ(d.Error.empty(), std::string(c.error).empty()) << shown;
    }
}

TEST_F(QvHeadlessTest, InfoPrintsBothReports)
{
    const std::string port = Sim({"--serial", "4242", "--part", "1520"});
    const TQvRunResult r = Run({"info", "-PORT=" + port, "-TRACE"});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    for (const char* line : {"Device information...", "Hardware Part Number = CV01520", "Hardware Serial Number = 004242",
                             "Config Information...", "Hardware EUI48 = "})
        EXPECT_TRUE(QvHas(r.Out, line)) << line << "\n" << r.Out;
    // The trace shows both directions; the log (standard output) shows no raw lines.
    EXPECT_TRUE(QvHas(r.Err, " -> #0281C1")) << r.Err;
    EXPECT_TRUE(QvHas(r.Err, " <- $02")) << r.Err;
    EXPECT_FALSE(QvHas(r.Out, "#0281C1"));
    // Headless runs leave the settings file alone; the log file is written.
    EXPECT_FALSE(CvFileExists(fDir.File("quorvan-programmer.ini")));
    EXPECT_TRUE(QvHas(FwReadFile(fDir.File("quorvan-programmer.log")), "Config Information..."));
}

TEST_F(QvHeadlessTest, ProgramCompletesAndARefusedBlockFails)
{
    const std::string fwx = Pack(3000);
    {
        const std::string port = Sim();
        const TQvRunResult r = Run({"program", fwx, "-PORT=" + port});
        EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        EXPECT_TRUE(QvHas(r.Out, "Device transfering block 11 (100.0%)...")) << r.Out;
        EXPECT_TRUE(QvHas(r.Out, "Completed.")) << r.Out;
        EXPECT_FALSE(QvHas(r.Err, "block ")) << "no progress bar when standard error is no terminal";
        fSim.Stop();
    }
    TQvSimProcess refusing;
    const std::string port = refusing.Start({"--status", "PROG_BLOCK:3=PROG_FLASH_ERROR"});
    ASSERT_FALSE(port.empty());
    const TQvRunResult r = Run({"program", fwx, "-PORT=" + port});
    EXPECT_EQ(r.ExitCode, QV_EXIT_BEACON) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "Device block programming not possible due to a Flash memory error.")) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "Aborted.")) << r.Out;
    EXPECT_FALSE(QvHas(r.Out, "Completed."));
}

TEST_F(QvHeadlessTest, FailuresHaveTheirOwnExitStatus)
{
    // A missing port.
    TQvRunResult r = Run({"info", "-PORT=/dev/ttyQV-missing"});
    EXPECT_EQ(r.ExitCode, QV_EXIT_PORT);
    EXPECT_TRUE(QvHas(r.Out, "The serial port '/dev/ttyQV-missing' is not available, and cannot be opened.")) << r.Out;

    // A broken package, without any beacon.
    const std::string bad = fDir.File("broken.fwx");
    FwWriteFile(bad, "<Firmware><Config/></Firmware>");
    r = Run({"inspect", bad});
    EXPECT_EQ(r.ExitCode, QV_EXIT_REJECTED) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "The package is not valid.")) << r.Out;
    r = Run({"inspect", Pack(600)});
    EXPECT_EQ(r.ExitCode, 0) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "Package is valid: 3 blocks, 600 bytes of data.")) << r.Out;

    // The desktop program's instance lock does not keep a headless run from working.
    QLockFile lock(QString::fromStdString(fDir.File("quorvan-programmer.lock")));
    ASSERT_TRUE(lock.tryLock(0));
    r = Run({"inspect", bad});
    EXPECT_EQ(r.ExitCode, QV_EXIT_REJECTED) << r.Err;
    EXPECT_FALSE(QvHas(r.Err, "Another instance")) << r.Err;
}

TEST_F(QvHeadlessTest, ConfigWritesTheFileThenReadsBack)
{
    FwWriteFile(fDir.File("quorvan-programmer.ini"), "[Engineering]\nKey=SEAFLOOR\n");
    const std::string cfg = fDir.File("beacon.ini");
    FwWriteFile(cfg, kBeaconConfig);
    const std::string port = Sim();
    TQvRunResult r = Run({"config", cfg, "-PORT=" + port});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_TRUE(QvHas(r.Out, "Device enabling engineering mode...")) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "Device setting hardware configuration...")) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "Hardware Serial Number = 000777")) << r.Out;

    r = Run({"config", fDir.File("missing.ini"), "-PORT=" + port});
    EXPECT_EQ(r.ExitCode, QV_EXIT_REJECTED);
}

TEST_F(QvHeadlessTest, ConfigThatTheBeaconRefusedFails)
{
    // A refused write does not end the exchange (the beacon is read back), but the run failed.
    const std::string cfg = fDir.File("beacon.ini");
    FwWriteFile(cfg, kBeaconConfig);
    struct Case {
        const char* key;
        std::vector<std::string> sim;
        int exit;
        std::vector<const char*> lines;
    };
    const std::vector<Case> cases = {
        {"WRONGKEY", {}, QV_EXIT_BEACON,
         {"Engineering mode enable failed.", "Engineering hardware configure command failed."}},
        {"SEAFLOOR", {"--status", "SYS_ENGINEERING:3=FAIL"}, QV_EXIT_BEACON,
         {"Engineering USBL calibration command failed."}},
        {"", {"--status", "SYS_ENGINEERING=FAIL"}, QV_EXIT_BEACON, {"Device setting hardware user flags..."}},
        // The user-flags reply is logged as an unknown action whatever its status; taken, it is
        // no failure.
        {"", {}, QV_EXIT_OK, {"Engineering unknown action code."}},
    };
    for (const Case& c : cases) {
        FwWriteFile(fDir.File("quorvan-programmer.ini"), std::string("[Engineering]\nKey=") + c.key + "\n");
        TQvSimProcess sim;
        const std::string port = sim.Start(c.sim);
        ASSERT_FALSE(port.empty()) << sim.Stderr();
        const TQvRunResult r = Run({"config", cfg, "-PORT=" + port});
        EXPECT_EQ(r.ExitCode, c.exit) << c.key << "\n" << r.Out;
        for (const char* line : c.lines)
            EXPECT_TRUE(QvHas(r.Out, line)) << line << "\n" << r.Out;
        EXPECT_TRUE(QvHas(r.Out, "Config Information...")) << "the beacon is read back all the same\n" << r.Out;
    }
}

// Two programming runs at once, each saving the shared log many times on the way: every line
// either printed is in the file as often as both printed it.
TEST_F(QvHeadlessTest, RunsOnTwoPortsShareTheLogWithoutLosingLines)
{
    const std::string fwx = Pack(300 * 256);
    TQvSimProcess simA;
    TQvSimProcess simB;
    const std::string portA = simA.Start({"--reboot-ms", "200"});
    const std::string portB = simB.Start({"--reboot-ms", "200"});
    ASSERT_FALSE(portA.empty());
    ASSERT_FALSE(portB.empty());

    QProcess a;
    QProcess b;
    StartRun(a, {"program", fwx, "-PORT=" + portA});
    StartRun(b, {"program", fwx, "-PORT=" + portB});
    std::string outA;
    std::string outB;
    EXPECT_EQ(FinishRun(a, outA), 0) << outA;
    EXPECT_EQ(FinishRun(b, outB), 0) << outB;

    std::vector<std::string> printed = Lines(outA);
    const std::vector<std::string> linesB = Lines(outB);
    printed.insert(printed.end(), linesB.begin(), linesB.end());
    ASSERT_GT(printed.size(), 600u) << "both runs log every block";
    const std::vector<std::string> logged = LogTexts(FwReadFile(fDir.File("quorvan-programmer.log")));
    std::vector<std::string> missing;
    for (std::string line : printed) {
        std::replace(line.begin(), line.end(), '"', '\'');
        const auto inOutput = std::count(printed.begin(), printed.end(), line);
        if (std::count(logged.begin(), logged.end(), line) < inOutput)
            missing.push_back(line);
    }
    EXPECT_TRUE(missing.empty()) << missing.size() << " lines missing, first: " << missing.front();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "Completed."), 2);
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "Application closing down."), 2);
}

// While one process programs a beacon, a second one asking for the same port is refused with
// the holder's name and process id; a third one on another port works meanwhile.
TEST_F(QvHeadlessTest, APortIsHeldByOneProcessAtATime)
{
    const std::string fwx = Pack(100 * 256);
    TQvSimProcess simA;
    TQvSimProcess simB;
    const std::string portA = simA.Start({"--reboot-ms", "200", "--baud", "115200"});
    const std::string portB = simB.Start({"--reboot-ms", "200"});
    ASSERT_FALSE(portA.empty());
    ASSERT_FALSE(portB.empty());

    QProcess holder;
    StartRun(holder, {"program", fwx, "-PORT=" + portA});
    std::string heldOut;
    while (heldOut.find("Device transfering block") == std::string::npos && holder.waitForReadyRead(10000))
        heldOut += holder.readAllStandardOutput().toStdString();
    ASSERT_NE(heldOut.find("Device transfering block"), std::string::npos) << heldOut;

    const TQvRunResult refused = QvRun(fExe, {"info", "-PORT=" + portA});
    EXPECT_EQ(refused.ExitCode, QV_EXIT_PORT) << refused.Out << refused.Err;
    const std::string expected = "The serial port '" + portA + "' is in use by quorvan-programmer (process "
        + std::to_string(holder.processId()) + ").";
    EXPECT_NE(refused.Out.find(expected), std::string::npos) << refused.Out;

    const TQvRunResult other = QvRun(fExe, {"info", "-PORT=" + portB});
    EXPECT_EQ(other.ExitCode, 0) << other.Out << other.Err;
    EXPECT_EQ(holder.state(), QProcess::Running) << "the other runs came and went during the first";

    EXPECT_EQ(FinishRun(holder, heldOut), 0) << heldOut;
    // Once the holder is done the port is free again.
    const TQvRunResult after = QvRun(fExe, {"info", "-PORT=" + portA});
    EXPECT_EQ(after.ExitCode, 0) << after.Out;
}
