// The headless program against the simulator program, both as processes over a pseudo-terminal:
// big blocks on slow lines with the simulator paced at the line rate, a beacon that goes away,
// and the beacon's report after the update. The runs of a test go side by side, each program
// copied into a folder of its own (its settings, log and lock file live there).
#include "app/QvHeadless.h"

#include "tests/framework/FwTestSupport.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

size_t CountOf(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1))
        ++n;
    return n;
}

// One headless run against its own simulator process.
class THeadlessRun {
public:
    // Starts the simulator with `simArgs`, packs an image of `blocks` blocks of `blockSize`
    // bytes with the packer program, and starts the program on it at `baud`.
    bool Start(const std::vector<std::string>& simArgs, uint32_t baud, uint32_t blockSize, size_t blocks)
    {
        Exe = fDir.File("quorvan-programmer");
        std::filesystem::copy_file(QvProgrammerPath(), Exe);
        std::filesystem::permissions(Exe, std::filesystem::perms::owner_all);
        std::string image;
        for (size_t i = 0; i < blockSize * blocks; ++i)
            image += static_cast<char>((i * 13 + i / 251) & 0xFF);
        FwWriteFile(fDir.File("image.bin"), image);
        const std::string fwx = fDir.File("image.fwx");
        const TQvRunResult packed = QvRun(QvPackPath(), {"--output", fwx, "--block-size", std::to_string(blockSize),
                                                         fDir.File("image.bin")});
        EXPECT_EQ(packed.ExitCode, 0) << packed.Err;
        std::vector<std::string> args = {"--reboot-ms", "300"};
        args.insert(args.end(), simArgs.begin(), simArgs.end());
        Port = fSim.Start(args);
        EXPECT_FALSE(Port.empty()) << fSim.Stderr();
        if (Port.empty() || packed.ExitCode != 0)
            return false;
        QvCloseOnExecAll();
        fProc.start(QString::fromStdString(Exe),
                    QvArgs({"program", fwx, "-PORT=" + Port, "-BAUD=" + std::to_string(baud)}));
        return fProc.waitForStarted(10000);
    }

    // Waits for the program's end; ExitCode is -1 when it crashed or did not end in time.
    void Finish(int timeoutMs)
    {
        if (!fProc.waitForFinished(timeoutMs)) {
            fProc.kill();
            fProc.waitForFinished(5000);
        } else if (fProc.exitStatus() == QProcess::NormalExit) {
            ExitCode = fProc.exitCode();
        }
        Out = fProc.readAllStandardOutput().toStdString();
    }

    std::string Exe;
    std::string Port;
    int ExitCode = -1;
    std::string Out;

private:
    TFwTempDir fDir;
    TQvSimProcess fSim;
    QProcess fProc;
};

struct TPacedCase {
    uint32_t Baud;
    uint32_t BlockSize;
    size_t Blocks;
};

} // namespace

// Only the first blocks need to cross the line to show a wait that starts too early, so each
// package holds one or two blocks; the slowest case (a 4096-byte block at 4800 baud, about
// 17 s on the line) sets the test's time, the others run beside it.
TEST(QvHeadlessLine, BigBlocksOnSlowLinesProgramThroughTheProgramAndTheSimulator)
{
    const TPacedCase cases[] = {
        {4800, 1024, 2},  {4800, 4096, 1},    {9600, 1024, 2}, {9600, 4096, 1},
        {115200, 8192, 2}, {115200, 65535, 1}, {115200, 256, 16}, // the default block size
    };
    std::vector<std::unique_ptr<THeadlessRun>> runs;
    for (const TPacedCase& c : cases) {
        runs.push_back(std::make_unique<THeadlessRun>());
        ASSERT_TRUE(runs.back()->Start({"--baud", std::to_string(c.Baud)}, c.Baud, c.BlockSize, c.Blocks));
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        const TPacedCase& c = cases[i];
        THeadlessRun& run = *runs[i];
        run.Finish(60000);
        SCOPED_TRACE(std::to_string(c.Baud) + " baud, " + std::to_string(c.BlockSize) + "-byte blocks");
        EXPECT_EQ(run.ExitCode, 0) << run.Out;
        EXPECT_FALSE(Has(run.Out, "Timed out waiting for device to reply.")) << run.Out;
        EXPECT_TRUE(Has(run.Out, "with settings '" + run.Port + "-" + std::to_string(c.Baud) + "-8-1-N'")) << run.Out;
        EXPECT_TRUE(Has(run.Out, "Completed.")) << run.Out;
    }
}

// A beacon that goes away mid-run is named once and ends the run as "port not available"; a
// beacon that reports the programmed firmware not valid fails it; another checksum is only a
// warning.
TEST(QvHeadlessLine, TheEndOfARunFollowsThePortAndTheBeaconsReport)
{
    struct TCase {
        std::vector<std::string> SimArgs;
        int ExitCode;
        std::vector<std::string> Lines;  // each appears exactly once
        std::vector<std::string> Absent;
    };
    const std::vector<TCase> cases = {
        {{"--close-at", "PROG_BLOCK:2"}, QV_EXIT_PORT, {"Serial port '@PORT' was lost.", "Aborted."}, {"Completed."}},
        {{"--update-invalid"},
         QV_EXIT_BEACON,
         {"Device reports the programmed firmware as not valid.", "Aborted."},
         {"Completed."}},
        {{"--update-checksum", "0BADF00D"},
         0,
         {"Device reports the programmed firmware checksum as 0x0badf00d; the package's is 0x", "Completed."},
         {"Aborted."}},
    };
    std::vector<std::unique_ptr<THeadlessRun>> runs;
    for (const TCase& c : cases) {
        runs.push_back(std::make_unique<THeadlessRun>());
        ASSERT_TRUE(runs.back()->Start(c.SimArgs, 115200, 256, 3));
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        THeadlessRun& run = *runs[i];
        run.Finish(30000);
        SCOPED_TRACE(cases[i].SimArgs.front());
        EXPECT_EQ(run.ExitCode, cases[i].ExitCode) << run.Out;
        for (std::string line : cases[i].Lines) {
            if (const size_t at = line.find("@PORT"); at != std::string::npos)
                line.replace(at, 5, run.Port);
            EXPECT_EQ(CountOf(run.Out, line), 1u) << line << "\n" << run.Out;
        }
        for (const std::string& line : cases[i].Absent)
            EXPECT_FALSE(Has(run.Out, line)) << run.Out;
    }
}
