// Headless runs as separate processes at the same time: runs on different ports work side by
// side and share the log file without losing a line; a port one process holds is refused to
// another, with a message that names the holder.
#include "app/QvCmdLine.h"
#include "framework/CvFiles.h"

#include "tests/framework/FwTestSupport.h"
#include "tests/support/SimProcess.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

class QvTwoProcessTest : public testing::Test {
protected:
    void SetUp() override
    {
        fExe = fDir.File("quorvan-programmer");
        std::filesystem::copy_file(QvProgrammerPath(), fExe);
        std::filesystem::permissions(fExe, std::filesystem::perms::owner_all);
    }
    // A package of `blocks` blocks of 256 bytes, made by the packer.
    std::string Pack(size_t blocks)
    {
        std::string image;
        for (size_t i = 0; i < blocks * 256; ++i)
            image += static_cast<char>((i * 13 + 5) & 0xFF);
        const std::string bin = fDir.File("image.bin");
        FwWriteFile(bin, image);
        const std::string fwx = fDir.File("image.fwx");
        const TQvRunResult r = QvRun(QvPackPath(), {"--output", fwx, bin});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return fwx;
    }
    void Start(QProcess& proc, const std::vector<std::string>& args)
    {
        QvCloseOnExecAll();
        proc.start(QString::fromStdString(fExe), QvArgs(args));
        ASSERT_TRUE(proc.waitForStarted(10000));
    }
    // Waits for the process to end; its exit status, or -1.
    static int Finish(QProcess& proc, std::string& out)
    {
        const bool ended = proc.waitForFinished(60000);
        out += proc.readAllStandardOutput().toStdString();
        return ended && proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -1;
    }
    // The texts of the log file's entries ("1,date,INFO,'text'" -> "text").
    std::vector<std::string> LogTexts() const
    {
        std::vector<std::string> texts;
        std::istringstream in(FwReadFile(fDir.File("quorvan-programmer.log")));
        for (std::string line; std::getline(in, line);) {
            const size_t open = line.find(",\"");
            if (open != std::string::npos && line.size() > open + 3)
                texts.push_back(line.substr(open + 2, line.find_last_of('"') - open - 2));
        }
        return texts;
    }

    TFwTempDir fDir;
    std::string fExe;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

// Two programming runs at once, each saving the shared log many times on the way: every line
// either printed is in the file as often as both printed it.
TEST_F(QvTwoProcessTest, RunsOnTwoPortsShareTheLogWithoutLosingLines)
{
    const std::string fwx = Pack(300);
    TQvSimProcess simA;
    TQvSimProcess simB;
    const std::string portA = simA.Start({"--reboot-ms", "200"});
    const std::string portB = simB.Start({"--reboot-ms", "200"});
    ASSERT_FALSE(portA.empty());
    ASSERT_FALSE(portB.empty());

    QProcess a;
    QProcess b;
    Start(a, {"program", fwx, "-PORT=" + portA});
    Start(b, {"program", fwx, "-PORT=" + portB});
    std::string outA;
    std::string outB;
    EXPECT_EQ(Finish(a, outA), 0) << outA;
    EXPECT_EQ(Finish(b, outB), 0) << outB;

    std::vector<std::string> printed = Lines(outA);
    const std::vector<std::string> linesB = Lines(outB);
    printed.insert(printed.end(), linesB.begin(), linesB.end());
    ASSERT_GT(printed.size(), 600u) << "both runs log every block";
    const std::vector<std::string> logged = LogTexts();
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
TEST_F(QvTwoProcessTest, APortIsHeldByOneProcessAtATime)
{
    const std::string fwx = Pack(100);
    TQvSimProcess simA;
    TQvSimProcess simB;
    const std::string portA = simA.Start({"--reboot-ms", "200", "--baud", "115200"});
    const std::string portB = simB.Start({"--reboot-ms", "200"});
    ASSERT_FALSE(portA.empty());
    ASSERT_FALSE(portB.empty());

    QProcess holder;
    Start(holder, {"program", fwx, "-PORT=" + portA});
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

    EXPECT_EQ(Finish(holder, heldOut), 0) << heldOut;
    // Once the holder is done the port is free again.
    const TQvRunResult after = QvRun(fExe, {"info", "-PORT=" + portA});
    EXPECT_EQ(after.ExitCode, 0) << after.Out;
}
