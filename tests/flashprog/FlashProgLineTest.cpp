// The engine against a beacon paced at the line rate, on a manual clock over the in-memory port
// that counts each write's line time: big blocks on slow lines, the reply time-out counted
// from the command's last character, and what the beacon reports after the update.
#include "flashprog/QvFlashProg.h"

#include "tests/flashprog/FlashProgTestSupport.h"
#include "tools/fwxpack/QvFwxPack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Image(size_t size)
{
    std::vector<uint8_t> image(size);
    uint32_t x = 0x9E3779B9u;
    for (uint8_t& b : image) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return image;
}

std::string WritePackage(const TFpTempDir& dir, const std::vector<uint8_t>& image, uint32_t blockSize)
{
    TQvFwxPackOptions options;
    options.BlockSize = blockSize;
    options.Name = "Line test image";
    options.Timestamp = "2026-03-04 05:06:07";
    std::string error;
    const std::string path = dir.File("app.fwx");
    EXPECT_TRUE(TQvFwxPack::WriteFile(path, image, options, error)) << error;
    return path;
}

// The rig with the beacon paced at `baud` and the port's line timed at the same rate.
TQvSimConfig Paced(uint32_t baud)
{
    TQvSimConfig config;
    config.Baud = baud;
    config.RebootMs = 300;
    return config;
}

void TimeTheLine(TFpRig& rig, TBaudRate rate)
{
    rig.Port.SetBaudRate(rate);
    rig.Port.SetLineTimed(true);
}

// Runs the clock until the engine is idle again (or `limitMs` passed).
void RunToIdle(TFpRig& rig, uint64_t limitMs)
{
    const uint64_t end = rig.Clock.NowMs() + limitMs;
    while (rig.Engine->State() != FP_IDLE && rig.Clock.NowMs() < end)
        rig.Advance(100);
}

struct TLineCase {
    TBaudRate Rate;
    uint32_t Baud;
    uint32_t BlockSize;
    size_t Blocks;
};

} // namespace

// Every block crosses the slow line and is acknowledged well after the 1000 ms that a wait
// counted from the write would allow; the run takes the line time and no more.
TEST(QvFlashProgLine, BigBlocksOnSlowLinesProgramAtTheLineRate)
{
    const TLineCase cases[] = {
        {br4800, 4800, 1024, 2},     {br4800, 4800, 4096, 2},       {br9600, 9600, 1024, 2},
        {br9600, 9600, 4096, 2},     {br115200, 115200, 8192, 2},   {br115200, 115200, 65535, 2},
        {br115200, 115200, 256, 8}, // the default package's blocks
    };
    for (const TLineCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Baud) + " baud, " + std::to_string(c.BlockSize) + "-byte blocks");
        TFpTempDir dir;
        TFpRig rig(Paced(c.Baud));
        TimeTheLine(rig, c.Rate);
        const std::vector<uint8_t> image = Image(c.BlockSize * c.Blocks);
        ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, image, c.BlockSize)), FP_OK);
        RunToIdle(rig, 600000);

        EXPECT_EQ(rig.Log.Count("Timed out waiting for device to reply."), 0u) << rig.Log.Dump();
        ASSERT_FALSE(rig.Actions.empty());
        EXPECT_EQ(rig.Actions.back().Action, FP_ACTION_DONE) << rig.Log.Dump();
        EXPECT_EQ(rig.Beacon->Image(), image);

        // From the initialisation to the update acknowledgement, everything crossed the line
        // at 10 bits a character both ways: the run waited for nothing else.
        const int64_t from = rig.Log.TimeOf("Device initialising...");
        const int64_t to = rig.Log.TimeOf("Device program updating and rebooting...");
        ASSERT_GE(from, 0);
        ASSERT_GT(to, from);
        const size_t sentChars = rig.Port.Written().find("#0F") + 7; // up to the update line's end
        const double lineMs = rig.Port.LineTimeMs(sentChars);
        EXPECT_GE(static_cast<double>(to - from), lineMs);
        EXPECT_LE(static_cast<double>(to - from), lineMs * 1.02 + 50.0 * static_cast<double>(c.Blocks + 2));
    }
}

// A block that is never answered times out 1000 ms after its last character left the line,
// however long it took to cross.
TEST(QvFlashProgLine, UnansweredBlockTimesOutASecondAfterItsLastCharacter)
{
    for (const TLineCase& c : {TLineCase{br4800, 4800, 4096, 2}, TLineCase{br115200, 115200, 65535, 2}}) {
        SCOPED_TRACE(std::to_string(c.Baud) + " baud, " + std::to_string(c.BlockSize) + "-byte blocks");
        TFpTempDir dir;
        TQvSimConfig config = Paced(c.Baud);
        config.Faults.Drop.push_back(TQvSimSelector{0x0E, 1}); // the first block goes unanswered
        TFpRig rig(config);
        TimeTheLine(rig, c.Rate);
        ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, Image(c.BlockSize * c.Blocks), c.BlockSize)), FP_OK);
        RunToIdle(rig, 600000);

        const std::string& written = rig.Port.Written();
        const size_t blockStart = written.find("#0E");
        ASSERT_NE(blockStart, std::string::npos);
        const size_t blockChars = written.find('\n', blockStart) + 1 - blockStart;
        const int64_t sent = rig.Log.TimeOf("Device transfering block 0 (50.0%)...");
        const int64_t timedOut = rig.Log.TimeOf("Timed out waiting for device to reply.");
        ASSERT_GE(sent, 0) << rig.Log.Dump();
        EXPECT_EQ(timedOut, sent + static_cast<int64_t>(std::ceil(rig.Port.LineTimeMs(blockChars))) + 1000)
            << rig.Log.Dump();
        EXPECT_EQ(rig.Log.Texts(logError).back(), "Aborted.");
        EXPECT_EQ(rig.Actions.back().Action, FP_ACTION_ERROR);
    }
}

// The identification reply after the update decides the run: a programmed section that is not
// valid fails it; a checksum other than the package's is only a warning.
TEST(QvFlashProgLine, TheBeaconsReportAfterTheUpdateDecidesTheRun)
{
    struct TCase {
        const char* Name;
        bool Invalid;
        std::optional<uint32_t> Checksum;
        std::vector<std::string> Tail; // the lines after the identification report
        EQvFlashProgAction End;
    };
    const std::vector<uint8_t> image = Image(64);
    const uint32_t packageSum = TQvFwxPack::Checksum(image);
    const std::string packageHex = CvFormat("%.8x", packageSum);
    const TCase cases[] = {
        {"valid, same checksum", false, std::nullopt, {"INFO Completed."}, FP_ACTION_DONE},
        {"not valid", true, std::nullopt,
         {"ERROR Device reports the programmed firmware as not valid.", "ERROR Aborted."}, FP_ACTION_ERROR},
        {"not valid, other checksum", true, 0x12345678u,
         {"ERROR Device reports the programmed firmware as not valid.", "ERROR Aborted."}, FP_ACTION_ERROR},
        {"other checksum", false, 0x0BADF00Du,
         {"WARNING Device reports the programmed firmware checksum as 0x0badf00d; the package's is 0x" + packageHex + ".",
          "INFO Completed."},
         FP_ACTION_DONE},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFpTempDir dir;
        TQvSimConfig config;
        config.RebootMs = 300;
        config.Faults.UpdateInvalid = c.Invalid;
        config.Faults.UpdateChecksum = c.Checksum;
        TFpRig rig(config);
        ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, image, 32)), FP_OK);
        RunToIdle(rig, 20000);

        const std::vector<std::string> lines = rig.Log.Lines();
        const auto report = std::find(lines.begin(), lines.end(), std::string("INFO Device information..."));
        ASSERT_NE(report, lines.end()) << rig.Log.Dump();
        const auto appSum = std::find_if(report, lines.end(), [](const std::string& l) {
            return l.rfind("INFO Application Checksum = ", 0) == 0;
        });
        ASSERT_NE(appSum, lines.end());
        EXPECT_EQ(std::vector<std::string>(appSum + 1, lines.end()), c.Tail);
        EXPECT_EQ(rig.Actions.back().Action, c.End);
        EXPECT_EQ(rig.Engine->State(), FP_IDLE);
        EXPECT_FALSE(rig.Engine->Timer().Enabled());
    }
}
