// The programming engine against an in-process simulated beacon on a manual clock: whole runs,
// the reply tables, time-outs, the reboot poll, and operations that cut across a run.
#include "flashprog/QvFlashProg.h"

#include "tests/flashprog/FlashProgTestSupport.h"
#include "tests/protocol/ProtocolTestHelpers.h"
#include "tools/fwxpack/QvFwxPack.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Image(size_t size)
{
    std::vector<uint8_t> image(size);
    std::iota(image.begin(), image.end(), uint8_t{7});
    return image;
}

// A package of `blocks` blocks of 4 bytes for the simulator's application section.
std::string WritePackage(const TFpTempDir& dir, size_t blocks, const std::string& name = "app.fwx")
{
    TQvFwxPackOptions options;
    options.BlockSize = 4;
    options.Name = "Test image";
    options.Timestamp = "2026-03-04 05:06:07";
    std::string error;
    const std::string path = dir.File(name);
    EXPECT_TRUE(TQvFwxPack::WriteFile(path, Image(4 * blocks), options, error)) << error;
    return path;
}

TQvSimConfig Sim(uint32_t rebootMs = 3000)
{
    TQvSimConfig config;
    config.RebootMs = rebootMs;
    return config;
}

TQvSimStatusRule StatusRule(const std::string& text)
{
    TQvSimStatusRule rule;
    std::string error;
    EXPECT_TRUE(TQvSimStatusRule::Parse(text, rule, error)) << error;
    return rule;
}

TQvSimSelector Selector(const std::string& text)
{
    TQvSimSelector sel;
    std::string error;
    EXPECT_TRUE(TQvSimSelector::Parse(text, sel, error)) << error;
    return sel;
}

// The log from the first block line on (the load summary is the reader's business).
std::vector<std::string> RunLines(const TFpLogCapture& log)
{
    std::vector<std::string> lines = log.Lines();
    const auto first = std::find(lines.begin(), lines.end(), std::string("INFO Device initialising..."));
    return std::vector<std::string>(first, lines.end());
}

} // namespace

TEST(QvFlashProgEngine, RegistersSixRepliesWithOneHandlerEach)
{
    TFpRig rig;
    for (EQvCmdId id : {CID_SYS_INFO, CID_SYS_ENGINEERING, CID_PROG_INIT, CID_PROG_BLOCK, CID_PROG_UPDATE, CID_CONFIG_GET}) {
        const auto* entry = rig.Proc.Entry(id);
        ASSERT_NE(entry, nullptr) << int(id);
        ASSERT_EQ(entry->CmdDelegates.size(), 1u);
        EXPECT_EQ(entry->CmdDelegates[0].Object(), rig.Engine.get());
    }
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
    EXPECT_FALSE(rig.Engine->Timer().Enabled());
    EXPECT_EQ(rig.Engine->CmdProc(), &rig.Proc);
    EXPECT_EQ(rig.Engine->ComPort(), &rig.Port);
}

TEST(QvFlashProgEngine, ThreeBlockRunWithRebootPoll)
{
    TFpTempDir dir;
    TFpRig rig(Sim(3000));
    const std::string path = WritePackage(dir, 3);
    ASSERT_EQ(rig.Engine->DeviceProgram(path), FP_OK);
    EXPECT_EQ(rig.Engine->State(), FP_PROG_INIT);
    EXPECT_EQ(rig.Engine->Filename(), path);
    rig.Pump(); // init, three blocks and the update go through at once
    EXPECT_EQ(rig.Engine->State(), FP_PROG_POLL);
    const uint64_t updated = rig.Clock.NowMs();
    rig.Advance(20000);

    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
    EXPECT_TRUE(rig.Engine->Filename().empty());
    EXPECT_FALSE(rig.Engine->Timer().Enabled());
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_START, FP_ACTION_PROGRESS, FP_ACTION_PROGRESS,
                                                                   FP_ACTION_PROGRESS, FP_ACTION_DONE}));
    EXPECT_EQ(rig.Progress(), (std::vector<int32_t>{34, 67, 100}));
    // The beacon reboots for 3000 ms: the first identification request goes unanswered.
    EXPECT_EQ(rig.SentIds(), (std::vector<int>{0x0D, 0x0E, 0x0E, 0x0E, 0x0F, 0x02, 0x02}));
    EXPECT_EQ(rig.Log.TimeOf("Device identification requested (attempt 1/5)..."), int64_t(updated + 2000));
    EXPECT_EQ(rig.Log.TimeOf("Completed."), int64_t(updated + 4000));

    const std::vector<std::string> lines = RunLines(rig.Log);
    const std::vector<std::string> head(lines.begin(), lines.begin() + 9);
    EXPECT_EQ(head, FpLogged(std::vector<std::string>{
                        "INFO Device initialising...",
                        "INFO Device initialised.",
                        "INFO Device transfering block 0 (33.3%)...",
                        "INFO Device transfering block 1 (66.7%)...",
                        "INFO Device transfering block 2 (100.0%)...",
                        "INFO Device programming...",
                        "INFO Device program updating and rebooting...",
                        "INFO Device identification requested (attempt 1/5)...",
                        "INFO Device identifying...",
                    }));
    EXPECT_EQ(lines[9], "INFO Device identification requested (attempt 2/5)...");
    EXPECT_EQ(lines[11], "INFO Device information...");
    EXPECT_EQ(lines.back(), "INFO Completed.");
    EXPECT_EQ(rig.Log.Count("Timed out waiting for device to reply."), 0u);
    EXPECT_EQ(rig.Log.Count("Application Valid = True"), 1u);

    // What the beacon now holds is the package's image with its checksum.
    EXPECT_EQ(rig.Beacon->Image(), Image(12));
    EXPECT_TRUE(rig.Beacon->State().App.Valid);
    EXPECT_EQ(rig.Beacon->State().App.Checksum, rig.Engine->Target().Checksum);
    EXPECT_EQ(rig.Engine->Target().Checksum, TQvFwxPack::Checksum(Image(12)));

    // Idle again: the next run starts at once.
    EXPECT_EQ(rig.Engine->DeviceProgram(path), FP_OK);
}

TEST(QvFlashProgEngine, ProgressIsTheExactCeiling)
{
    const struct {
        size_t Blocks;
        std::vector<int32_t> Progress;
    } cases[] = {
        {1, {100}},
        {3, {34, 67, 100}},
        {7, {15, 29, 43, 58, 72, 86, 100}},
    };
    for (const auto& c : cases) {
        TFpTempDir dir;
        TFpRig rig(Sim(0));
        ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, c.Blocks)), FP_OK);
        rig.Advance(3000);
        EXPECT_EQ(rig.Progress(), c.Progress) << c.Blocks;
        EXPECT_EQ(rig.ActionKinds().back(), FP_ACTION_DONE);
    }
    // 7 of 100 blocks is 7 per cent, 1 of 100 is 1, and the logged value has one decimal.
    TFpTempDir dir;
    TFpRig rig(Sim(0));
    ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, 100)), FP_OK);
    rig.Pump();
    const std::vector<int32_t> progress = rig.Progress();
    ASSERT_EQ(progress.size(), 100u);
    EXPECT_EQ(progress[0], 1);
    EXPECT_EQ(progress[6], 7);
    EXPECT_EQ(rig.Log.Count("Device transfering block 6 (7.0%)..."), 1u);
}

TEST(QvFlashProgEngine, NoAnswerToTheInitialisation)
{
    TFpTempDir dir;
    TFpRig rig;
    rig.Answering = false;
    ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, 2)), FP_OK);
    const uint64_t sent = rig.Clock.NowMs();
    rig.Advance(999);
    EXPECT_EQ(rig.Engine->State(), FP_PROG_INIT);
    rig.Advance(1);
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
    EXPECT_EQ(RunLines(rig.Log), (std::vector<std::string>{"INFO Device initialising...",
                                                            "ERROR Timed out waiting for device to reply.",
                                                            "ERROR Aborted."}));
    EXPECT_EQ(rig.Log.TimeOf("Aborted."), int64_t(sent + 1000));
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_START, FP_ACTION_ERROR}));
    rig.Advance(10000);
    EXPECT_EQ(rig.ActionKinds().size(), 2u); // the timer is stopped
}

TEST(QvFlashProgEngine, SilentBeaconAfterTheUpdate)
{
    TFpTempDir dir;
    TQvSimConfig config = Sim();
    config.Faults.NoReturn = true;
    TFpRig rig(config);
    ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, 1)), FP_OK);
    rig.Pump();
    ASSERT_EQ(rig.Engine->State(), FP_PROG_POLL);
    const uint64_t updated = rig.Clock.NowMs();
    rig.Log.Clear();
    rig.Advance(1999);
    EXPECT_TRUE(rig.Log.Entries().empty()); // nothing for 2000 ms
    rig.Advance(30000);

    std::vector<std::string> expected;
    for (int n = 1; n <= 5; ++n) {
        expected.push_back("INFO Device identification requested (attempt " + std::to_string(n) + "/5)...");
        expected.push_back("INFO Device identifying...");
    }
    expected.push_back("ERROR Device not respondoing to identification requests.");
    expected.push_back("ERROR Aborted.");
    EXPECT_EQ(rig.Log.Lines(), expected);
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(rig.Log.TimeOf("Device identification requested (attempt " + std::to_string(n) + "/5)..."),
                  int64_t(updated + 2000 * n));
    EXPECT_EQ(rig.Log.TimeOf("Aborted."), int64_t(updated + 12000));
    EXPECT_EQ(rig.ActionKinds().back(), FP_ACTION_ERROR);
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
}

// Each non-zero status of a programming acknowledgement logs its line and aborts the run.
TEST(QvFlashProgEngine, ReplyStatusTables)
{
    const struct {
        const char* Rule;
        const char* Error;
        std::vector<int> Sent;
    } cases[] = {
        {"PROG_INIT=PROG_FLASH_ERROR", "Device initialisation not possible due to a Flash memory error.", {0x0D}},
        {"PROG_INIT=PROG_FIRMWARE_ERROR", "Device initialisation not possible with supplied details.", {0x0D}},
        {"PROG_INIT=PROG_SECTION_ERROR", "Device initialisation not possible due to invalid \"Section\" parameter.", {0x0D}},
        {"PROG_INIT=PROG_LENGTH_ERROR", "Device initialisation not possible due to invalid \"Length\" parameter.", {0x0D}},
        {"PROG_INIT=CMD_PARAM_INVALID",
         "Device initalisation not possible due to an unknown error. [Code=0x05, \"CMD_PARAM_INVALID\"].", {0x0D}},
        {"PROG_INIT=2", "Device initalisation not possible due to an unknown error. [Code=0x02, \"UNKNOWN\"].", {0x0D}},
        {"PROG_BLOCK:2=PROG_FLASH_ERROR", "Device block programming not possible due to a Flash memory error.",
         {0x0D, 0x0E, 0x0E}},
        {"PROG_BLOCK:2=PROG_FIRMWARE_ERROR", "Device not initialised to receive block data.", {0x0D, 0x0E, 0x0E}},
        {"PROG_BLOCK:2=PROG_LENGTH_ERROR",
         "Device received more data than expected. Discarded excess data in this block.", {0x0D, 0x0E, 0x0E}},
        {"PROG_BLOCK:2=PROG_DATA_ERROR",
         "Device block invalid due to an unknown error. [Code=0x0e, \"PROG_DATA_ERROR\"].", {0x0D, 0x0E, 0x0E}},
        {"PROG_UPDATE=PROG_FIRMWARE_ERROR", "Device not initialised to perform update.", {0x0D, 0x0E, 0x0E, 0x0E, 0x0F}},
        {"PROG_UPDATE=PROG_SECTION_ERROR",
         "Device progamming cannot be performed on the supplied \"Section\" parameter.", {0x0D, 0x0E, 0x0E, 0x0E, 0x0F}},
        {"PROG_UPDATE=PROG_LENGTH_ERROR",
         "Device programming length does not match supplied \"Length\" parameter.", {0x0D, 0x0E, 0x0E, 0x0E, 0x0F}},
        {"PROG_UPDATE=PROG_CHECKSUM_ERROR",
         "Device programming data does not match supplied \"Checksum\" parameter.", {0x0D, 0x0E, 0x0E, 0x0E, 0x0F}},
        {"PROG_UPDATE=FAIL", "Device programming not possible due to an unknown error [Code=0x01, \"FAIL\"].",
         {0x0D, 0x0E, 0x0E, 0x0E, 0x0F}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Rule);
        TFpTempDir dir;
        TQvSimConfig config = Sim();
        config.Faults.Status.push_back(StatusRule(c.Rule));
        TFpRig rig(config);
        ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, 3)), FP_OK);
        rig.Advance(5000);
        const std::vector<std::string> errors = rig.Log.Texts(logError);
        EXPECT_EQ(errors, FpLogged(std::vector<std::string>{c.Error, "Aborted."}));
        EXPECT_EQ(rig.SentIds(), c.Sent);
        EXPECT_EQ(rig.ActionKinds().back(), FP_ACTION_ERROR);
        EXPECT_EQ(rig.Engine->State(), FP_IDLE);
    }
}

TEST(QvFlashProgEngine, LostBlockTimesOutFromItsSend)
{
    TFpTempDir dir;
    TQvSimConfig config = Sim();
    config.Faults.Drop.push_back(Selector("PROG_BLOCK:2"));
    TFpRig rig(config);
    rig.Clock.Advance(500);
    ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, 3)), FP_OK);
    rig.Pump();
    EXPECT_EQ(rig.Engine->State(), FP_PROG_BLOCK);
    EXPECT_EQ(rig.Engine->Timer().Interval(), 1000u);
    rig.Advance(5000);
    EXPECT_EQ(rig.Log.TimeOf("Timed out waiting for device to reply."), 1500);
    EXPECT_EQ(rig.Log.Texts(logError).back(), "Aborted.");
    EXPECT_EQ(rig.Progress(), (std::vector<int32_t>{34, 67}));
}

TEST(QvFlashProgEngine, Stop)
{
    TFpTempDir dir;
    TFpRig rig;
    rig.Engine->Stop(); // idle: the event, no log line
    EXPECT_TRUE(rig.Log.Entries().empty());
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_STOP}));

    ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, 3)), FP_OK);
    rig.Engine->Stop(); // the initialisation is on its way
    EXPECT_EQ(rig.Log.Lines().back(), "WARNING Stopped.");
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
    EXPECT_TRUE(rig.Engine->Filename().empty());
    EXPECT_FALSE(rig.Engine->Timer().Enabled());
    rig.Log.Clear();
    rig.Advance(5000); // the acknowledgement is unexpected now and changes nothing
    EXPECT_EQ(rig.Log.Lines(), FpLogged(std::vector<std::string>{
                                   "ERROR Unexpectedly received \"Program Initialise Acknowledge\" message."}));
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_STOP, FP_ACTION_START, FP_ACTION_STOP}));
    EXPECT_EQ(rig.SentIds(), (std::vector<int>{0x0D}));
}

TEST(QvFlashProgEngine, SecondDeviceProgramWhileBusy)
{
    TFpTempDir dir;
    TFpRig rig;
    const std::string path = WritePackage(dir, 3);
    ASSERT_EQ(rig.Engine->DeviceProgram(path), FP_OK);
    rig.Log.Clear();
    EXPECT_EQ(rig.Engine->DeviceProgram(path), FP_ERR_FILEOPEN);
    EXPECT_EQ(rig.Log.Lines(), FpLogged(std::vector<std::string>{
                                   "INFO Programming firmware from file \"" + path + "\"...",
                                   "ERROR Another programming operation is currently in progress.",
                                   "ERROR Aborted.",
                               }));
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
    rig.Log.Clear();
    rig.Advance(3000); // the old run's acknowledgement
    EXPECT_EQ(rig.Log.Texts(), FpLogged(std::vector<std::string>{
                                   "Unexpectedly received \"Program Initialise Acknowledge\" message."}));
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_START, FP_ACTION_ERROR}));
    // Called again at once, it starts.
    EXPECT_EQ(rig.Engine->DeviceProgram(path), FP_OK);
    rig.Advance(10000);
    EXPECT_EQ(rig.ActionKinds().back(), FP_ACTION_DONE);
}

// DeviceInfo does not look at the state: the run's next acknowledgement is then unexpected.
TEST(QvFlashProgEngine, DeviceInfoDuringARun)
{
    TFpTempDir dir;
    TFpRig rig;
    ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, 3)), FP_OK);
    ASSERT_EQ(rig.Engine->DeviceInfo(), FP_OK);
    EXPECT_EQ(rig.Engine->State(), FP_WAIT_ACK);
    EXPECT_EQ(rig.Engine->WaitAckCount(), 2);
    rig.Advance(3000);
    const std::vector<std::string> errors = rig.Log.Texts(logError);
    EXPECT_EQ(errors, FpLogged(std::vector<std::string>{
                          "Unexpectedly received \"Program Initialise Acknowledge\" message.", "Aborted."}));
    // The two replies that follow find the engine idle: reported, but no events.
    EXPECT_EQ(rig.Log.Count("Device information..."), 1u);
    EXPECT_EQ(rig.Log.Count("Config Information..."), 1u);
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_START, FP_ACTION_START, FP_ACTION_ERROR}));
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
    EXPECT_EQ(rig.SentIds(), (std::vector<int>{0x0D, 0x02, 0x1A}));
}

// Replies by hand in states that do not expect them.
TEST(QvFlashProgEngine, RepliesOutOfTurn)
{
    TFpTempDir dir;
    TFpRig rig;
    rig.Answering = false;
    // While idle the programming acknowledgements are reported as unexpected and ignored.
    rig.Port.Receive(RxLine({0x0D, 0x00}) + "\r\n" + RxLine({0x0E, 0x00}) + "\r\n" + RxLine({0x0F, 0x00}) + "\r\n");
    EXPECT_EQ(rig.Log.Texts(), FpLogged(std::vector<std::string>{
                                   "Unexpectedly received \"Program Initialise Acknowledge\" message.",
                                   "Unexpectedly received \"Program Block Acknowledge\" message.",
                                   "Unexpectedly received \"Program Update Acknowledge\" message.",
                               }));
    EXPECT_TRUE(rig.Actions.empty());

    // A block acknowledgement during the initialisation aborts.
    ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, 2)), FP_OK);
    rig.Log.Clear();
    rig.Port.Receive(RxLine({0x0E, 0x00}) + "\r\n");
    EXPECT_EQ(rig.Log.Texts(), FpLogged(std::vector<std::string>{
                                   "Unexpectedly received \"Program Block Acknowledge\" message.", "Aborted."}));

    // An engineering reply during the reboot poll counts as the beacon's answer.
    rig.Answering = true;
    ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, 2)), FP_OK);
    rig.Pump();
    ASSERT_EQ(rig.Engine->State(), FP_PROG_POLL);
    rig.Answering = false;
    rig.Port.Receive(RxLine({0x04, 0x00, 0x01}) + "\r\n");
    EXPECT_EQ(rig.Log.Texts().back(), "Completed.");
    EXPECT_EQ(rig.ActionKinds().back(), FP_ACTION_DONE);
}

// A write the port refuses is logged, not thrown into the event loop; the step then times out.
TEST(QvFlashProgEngine, FailedWriteEndsTheRunByTimeOut)
{
    TFpTempDir dir;
    TFpRig rig;
    ASSERT_EQ(rig.Engine->DeviceProgram(WritePackage(dir, 3)), FP_OK);
    rig.Port.SetWriteError(5);
    rig.Pump(); // the initialisation acknowledgement arrives; sending block 0 fails
    EXPECT_EQ(rig.Engine->State(), FP_PROG_BLOCK);
    const std::vector<std::string> errors = rig.Log.Texts(logError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Exception: ", 0), 0u) << errors[0];
    rig.Advance(1000);
    EXPECT_EQ(rig.Log.Texts(logError).back(), "Aborted.");
    EXPECT_EQ(rig.Log.Count("Timed out waiting for device to reply."), 1u);
    EXPECT_EQ(rig.ActionKinds().back(), FP_ACTION_ERROR);
    EXPECT_EQ(rig.SentIds(), (std::vector<int>{0x0D}));
}

// A package loaded once programs beacon after beacon with the lines of a load from the file,
// and a file changed on disk after that load changes nothing.
TEST(QvFlashProgEngine, ProgramsAPackageLoadedBefore)
{
    TFpTempDir dir;
    const std::string path = WritePackage(dir, 3);
    std::vector<std::string> fromFile;
    {
        TFpRig rig(Sim(300));
        ASSERT_EQ(rig.Engine->DeviceProgram(path), FP_OK);
        rig.Advance(20000);
        fromFile = rig.Log.Lines();
        ASSERT_EQ(fromFile.back(), "INFO Completed.");
    }
    TQvFlashProgTarget loaded;
    ASSERT_EQ(TQvFlashProgFile::Load(path, loaded), FP_OK);
    WritePackage(dir, 5); // the file changes after the load
    TFpRig rig(Sim(300));
    ASSERT_EQ(rig.Engine->DeviceProgram(path, loaded), FP_OK);
    rig.Advance(20000);
    EXPECT_EQ(rig.Log.Lines(), fromFile);
    EXPECT_EQ(rig.Beacon->Image(), Image(12));

    // Busy: refused like a load from the file.
    ASSERT_EQ(rig.Engine->DeviceProgram(path, loaded), FP_OK);
    EXPECT_EQ(rig.Engine->DeviceProgram(path, loaded), FP_ERR_FILEOPEN);
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
}
