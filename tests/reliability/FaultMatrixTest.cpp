// Every fault the simulated beacon can inject, at every phase of a firmware update and of the
// information and configuration exchanges. Every scenario runs on the manual clock over the
// in-memory port; a few also run end to end against the program's core over a real
// pseudo-terminal on the Qt timer service. Each checks the exact log of the operation, the
// engine's events and its state afterwards, and then that a clean run on a fresh beacon
// succeeds with the same engine at once.
#include "tests/reliability/FaultStations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum ERelOp : uint8_t { OP_PROGRAM, OP_INFO, OP_CONFIG, OP_CONFIG_BADKEY, OP_CONFIG_USER };

struct TRelScenario {
    const char* Name;
    const char* Faults;                 // the simulator's fault options
    ERelOp Op;
    std::vector<std::string> Expected;  // the log from the operation's first line ("@" macros, "*" any text)
    const char* Actions;                // S start, P progress, D done, E error, I info, C config
    EQvFlashProgState Final = FP_IDLE;
};

// Macros of the expected logs.
const std::vector<std::string> kInit = {"INFO Device initialising...", "INFO Device initialised."};
const std::string kB0 = "INFO Device transfering block 0 (33.3%)...";
const std::string kB1 = "INFO Device transfering block 1 (66.7%)...";
const std::string kB2 = "INFO Device transfering block 2 (100.0%)...";
const std::string kUpd = "INFO Device programming...";
const std::string kUpdOk = "INFO Device program updating and rebooting...";
const std::string kTimeout = "ERROR Timed out waiting for device to reply.";
const std::string kAbort = "ERROR Aborted.";
const std::string kDone = "INFO Completed.";
const std::string kNoAnswer = "ERROR Device not respondoing to identification requests.";
const std::string kBadCsum = "ERROR Rx Checksum Error (RxCsum=0x*, CalcCsum=0x*, Rx='$*')";

std::vector<std::string> Poll(int n)
{
    return {"INFO Device identification requested (attempt " + std::to_string(n) + "/5)...",
            "INFO Device identifying..."};
}

// The system information report of the default beacon: before an update, and after one with
// the test image (its checksum is filled in at run time).
const std::vector<std::string> kSysInfoOld = {
    "INFO Device information...",
    "INFO Uptime = * seconds",
    "INFO Run Section = APPLICATION (1)",
    "INFO Hardware Part Number = CV01520",
    "INFO Hardware Revision = 3",
    "INFO Hardware Serial Number = 104857",
    "INFO Hardware Flags Sys = 0x0011",
    "INFO Hardware Flags User = 0x0000",
    "INFO Bootloader Valid = True",
    "INFO Bootloader Part Number = CV*",
    "INFO Bootloader Version = v1.2.0",
    "INFO Bootloader Checksum = 0x*",
    "INFO Application Valid = True",
    "INFO Application Part Number = CV*",
    "INFO Application Version = v2.4.0",
    "INFO Application Checksum = 0x*",
};

const std::vector<std::string> kConfigReport = {
    "INFO Config Information...",
    "INFO Hardware EUI48 = 02-51-56-00-15-A3",
    "INFO Pressure Sensor Id = 30211",
    "INFO Pressure Sensor Type = *",
    "INFO Pressure Sensor Calibrated = 2025-06-12",
    "INFO Pressure Sensor Min Pressure = 0.0 bar",
    "INFO Pressure Sensor Max Pressure = 200.0 bar",
    "INFO Usbl Calibration Valid = False",
    "INFO Usbl Baseline 10: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 20: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 21: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 30: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 31: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 32: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
};

// What DeviceConfig sends in engineering mode with the rig's configuration.
const std::vector<std::string> kEngSend = {
    "INFO Device enabling engineering mode...",
    "INFO Device setting hardware configuration...",
    "INFO Hardware Part Number = CV01520",
    "INFO Hardware Revision = 4",
    "INFO Hardware Serial Number = 200001",
    "INFO Hardware Flags Sys = 0x0011",
    "INFO Hardware Flags User = 0x0005",
    "INFO Device setting Usbl calibration...",
    "INFO Usbl Calibration Valid = True",
    "INFO Usbl Baseline 10: A = 0.50000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 20: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 21: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 30: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 31: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 32: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Device identifying...",
    "INFO Device getting config...",
};
const std::vector<std::string> kUserSend = {
    "INFO Device setting hardware user flags...",
    "INFO Hardware Flags User = 0x0005",
    "INFO Device identifying...",
    "INFO Device getting config...",
};
const std::vector<std::string> kInfoSend = {"INFO Device identifying...", "INFO Device getting config..."};

// Joins pieces (lines and line lists) into one expected log.
struct TLog {
    std::vector<std::string> Lines;
    TLog& operator+(const std::string& line)
    {
        Lines.push_back(line);
        return *this;
    }
    TLog& operator+(const std::vector<std::string>& lines)
    {
        Lines.insert(Lines.end(), lines.begin(), lines.end());
        return *this;
    }
    operator std::vector<std::string>() const { return Lines; }
};
TLog L() { return TLog(); }

const std::vector<std::string> kFullBlocks = {kB0, kB1, kB2, kUpd, kUpdOk};

// The scenarios. The package has three blocks (first, middle, last); the beacon reboots for
// 300 ms, so the first identification request after the update is answered.
const std::vector<TRelScenario>& Scenarios()
{
    static const std::vector<TRelScenario> table = {
        // A clean run as the reference.
        {"Clean", "", OP_PROGRAM, L() + kInit + kFullBlocks + Poll(1) + kSysInfoOld + kDone, "SPPPD"},
        // No answer, at every programming step.
        {"DropInit", "--drop PROG_INIT", OP_PROGRAM, L() + kInit[0] + kTimeout + kAbort, "SE"},
        {"DropFirstBlock", "--drop PROG_BLOCK:1", OP_PROGRAM, L() + kInit + kB0 + kTimeout + kAbort, "SPE"},
        {"DropMiddleBlock", "--drop PROG_BLOCK:2", OP_PROGRAM, L() + kInit + kB0 + kB1 + kTimeout + kAbort, "SPPE"},
        {"DropLastBlock", "--drop PROG_BLOCK:3", OP_PROGRAM, L() + kInit + kB0 + kB1 + kB2 + kTimeout + kAbort,
         "SPPPE"},
        {"DropUpdate", "--drop PROG_UPDATE", OP_PROGRAM, L() + kInit + kB0 + kB1 + kB2 + kUpd + kTimeout + kAbort,
         "SPPPE"},
        {"DropFirstPoll", "--drop SYS_INFO:1", OP_PROGRAM,
         L() + kInit + kFullBlocks + Poll(1) + Poll(2) + kSysInfoOld + kDone, "SPPPD"},
        // Every refusal status of the initialisation.
        {"InitFlashError", "--status PROG_INIT=PROG_FLASH_ERROR", OP_PROGRAM,
         L() + kInit[0] + "ERROR Device initialisation not possible due to a Flash memory error." + kAbort, "SE"},
        {"InitFirmwareError", "--status PROG_INIT=PROG_FIRMWARE_ERROR", OP_PROGRAM,
         L() + kInit[0] + "ERROR Device initialisation not possible with supplied details." + kAbort, "SE"},
        {"InitSectionError", "--status PROG_INIT=PROG_SECTION_ERROR", OP_PROGRAM,
         L() + kInit[0] + "ERROR Device initialisation not possible due to invalid 'Section' parameter." + kAbort,
         "SE"},
        {"InitLengthError", "--status PROG_INIT=PROG_LENGTH_ERROR", OP_PROGRAM,
         L() + kInit[0] + "ERROR Device initialisation not possible due to invalid 'Length' parameter." + kAbort,
         "SE"},
        {"InitUnknownStatus", "--status PROG_INIT=FAIL", OP_PROGRAM,
         L() + kInit[0] +
             "ERROR Device initalisation not possible due to an unknown error. [Code=0x01, 'FAIL']." + kAbort,
         "SE"},
        // Refusals of the first, middle and last block.
        {"FirstBlockFlashError", "--status PROG_BLOCK:1=PROG_FLASH_ERROR", OP_PROGRAM,
         L() + kInit + kB0 + "ERROR Device block programming not possible due to a Flash memory error." + kAbort,
         "SPE"},
        {"MiddleBlockNotInitialised", "--status PROG_BLOCK:2=PROG_FIRMWARE_ERROR", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + "ERROR Device not initialised to receive block data." + kAbort, "SPPE"},
        {"LastBlockExcessData", "--status PROG_BLOCK:3=PROG_LENGTH_ERROR", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + kB2 +
             "ERROR Device received more data than expected. Discarded excess data in this block." + kAbort,
         "SPPPE"},
        {"MiddleBlockUnknownStatus", "--status PROG_BLOCK:2=PROG_DATA_ERROR", OP_PROGRAM,
         L() + kInit + kB0 + kB1 +
             "ERROR Device block invalid due to an unknown error. [Code=0x0e, 'PROG_DATA_ERROR']." + kAbort,
         "SPPE"},
        // Every refusal status of the update.
        {"UpdateNotInitialised", "--status PROG_UPDATE=PROG_FIRMWARE_ERROR", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + kB2 + kUpd + "ERROR Device not initialised to perform update." + kAbort, "SPPPE"},
        {"UpdateSectionError", "--status PROG_UPDATE=PROG_SECTION_ERROR", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + kB2 + kUpd +
             "ERROR Device progamming cannot be performed on the supplied 'Section' parameter." + kAbort,
         "SPPPE"},
        {"UpdateLengthError", "--status PROG_UPDATE=PROG_LENGTH_ERROR", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + kB2 + kUpd +
             "ERROR Device programming length does not match supplied 'Length' parameter." + kAbort,
         "SPPPE"},
        {"UpdateChecksumError", "--status PROG_UPDATE=PROG_CHECKSUM_ERROR", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + kB2 + kUpd +
             "ERROR Device programming data does not match supplied 'Checksum' parameter." + kAbort,
         "SPPPE"},
        {"UpdateUnknownStatus", "--status PROG_UPDATE=CMD_PARAM_MISSING", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + kB2 + kUpd +
             "ERROR Device programming not possible due to an unknown error [Code=0x04, 'CMD_PARAM_MISSING']." +
             kAbort,
         "SPPPE"},
        // A reply with a wrong checksum is rejected by the processor: the step times out.
        {"CorruptInitReply", "--corrupt PROG_INIT", OP_PROGRAM, L() + kInit[0] + kBadCsum + kTimeout + kAbort, "SE"},
        {"CorruptFirstBlockReply", "--corrupt PROG_BLOCK:1", OP_PROGRAM,
         L() + kInit + kB0 + kBadCsum + kTimeout + kAbort, "SPE"},
        {"CorruptLastBlockReply", "--corrupt PROG_BLOCK:3", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + kB2 + kBadCsum + kTimeout + kAbort, "SPPPE"},
        {"CorruptUpdateReply", "--corrupt PROG_UPDATE", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + kB2 + kUpd + kBadCsum + kTimeout + kAbort, "SPPPE"},
        {"CorruptFirstPollReply", "--corrupt SYS_INFO:1", OP_PROGRAM,
         L() + kInit + kFullBlocks + Poll(1) + kBadCsum + Poll(2) + kSysInfoOld + kDone, "SPPPD"},
        // Noise between replies and replies split into pieces do not disturb a run.
        {"NoiseBeforeEveryReply", "--noise 40 --seed 7", OP_PROGRAM,
         L() + kInit + kFullBlocks + Poll(1) + kSysInfoOld + kDone, "SPPPD"},
        {"RepliesInThreeBytePieces", "--chunk 3:2", OP_PROGRAM,
         L() + kInit + kFullBlocks + Poll(1) + kSysInfoOld + kDone, "SPPPD"},
        {"RepliesByteByByte", "--chunk 1:0", OP_PROGRAM, L() + kInit + kFullBlocks + Poll(1) + kSysInfoOld + kDone,
         "SPPPD"},
        // The device goes away: the loss is logged, the port closes itself and the step times out.
        {"CloseAtInit", "--close-at PROG_INIT", OP_PROGRAM, L() + kInit[0] + "@CLOSED" + kTimeout + kAbort, "SE"},
        {"CloseAtMiddleBlock", "--close-at PROG_BLOCK:2", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + "@CLOSED" + kTimeout + kAbort, "SPPE"},
        {"CloseAtUpdate", "--close-at PROG_UPDATE", OP_PROGRAM,
         L() + kInit + kB0 + kB1 + kB2 + kUpd + "@CLOSED" + kTimeout + kAbort, "SPPPE"},
        {"CloseAtPoll", "--close-at SYS_INFO:1", OP_PROGRAM,
         L() + kInit + kFullBlocks + Poll(1) + "@CLOSED" + Poll(2) + Poll(3) + Poll(4) + Poll(5) + kNoAnswer +
             kAbort,
         "SPPPE"},
        // The beacon does not come back after the update, or comes back at the n-th request.
        {"NoReturn", "--no-return", OP_PROGRAM,
         L() + kInit + kFullBlocks + Poll(1) + Poll(2) + Poll(3) + Poll(4) + Poll(5) + kNoAnswer + kAbort, "SPPPE"},
        {"ReturnAtSecondPoll", "--poll-answer 2", OP_PROGRAM,
         L() + kInit + kFullBlocks + Poll(1) + Poll(2) + kSysInfoOld + kDone, "SPPPD"},
        {"ReturnAtFifthPoll", "--poll-answer 5", OP_PROGRAM,
         L() + kInit + kFullBlocks + Poll(1) + Poll(2) + Poll(3) + Poll(4) + Poll(5) + kSysInfoOld + kDone, "SPPPD"},
        {"ReturnTooLate", "--poll-answer 6", OP_PROGRAM,
         L() + kInit + kFullBlocks + Poll(1) + Poll(2) + Poll(3) + Poll(4) + Poll(5) + kNoAnswer + kAbort, "SPPPE"},
        // The information exchange.
        {"InfoClean", "", OP_INFO, L() + kInfoSend + kSysInfoOld + kConfigReport, "SIC"},
        {"InfoNoAnswer", "--drop SYS_INFO --drop CONFIG_GET", OP_INFO, L() + kInfoSend + kTimeout + kAbort, "SE"},
        // One reply lost: the other stops the timer, the exchange waits for the lost one.
        {"InfoSysInfoLost", "--drop SYS_INFO", OP_INFO, L() + kInfoSend + kConfigReport, "SC", FP_WAIT_ACK},
        {"InfoConfigLost", "--drop CONFIG_GET", OP_INFO, L() + kInfoSend + kSysInfoOld, "SI", FP_WAIT_ACK},
        {"InfoCorruptSysInfo", "--corrupt SYS_INFO", OP_INFO, L() + kInfoSend + kBadCsum + kConfigReport, "SC",
         FP_WAIT_ACK},
        {"InfoNoise", "--noise 40 --seed 3", OP_INFO, L() + kInfoSend + kSysInfoOld + kConfigReport, "SIC"},
        {"InfoSplitReplies", "--chunk 5:1", OP_INFO, L() + kInfoSend + kSysInfoOld + kConfigReport, "SIC"},
        {"InfoDeviceClosed", "--close-at SYS_INFO", OP_INFO, L() + kInfoSend + "@CLOSED" + kTimeout + kAbort, "SE"},
        // The factory configuration write.
        {"ConfigClean", "", OP_CONFIG,
         L() + kEngSend + "INFO Engineering mode enabled." + "INFO Engineering hardware configuration stored." +
             "INFO Engineering USBL calibration stored." + "@SYSINFO_CONFIGURED" + "@CONFIG_CONFIGURED",
         "SIC"},
        {"ConfigWrongKey", "", OP_CONFIG_BADKEY,
         L() + kEngSend + "ERROR Engineering mode enable failed." +
             "ERROR Engineering hardware configure command failed." +
             "ERROR Engineering USBL calibration command failed." + kSysInfoOld + kConfigReport,
         "SIC"},
        {"ConfigHardwareParamMissing", "--status SYS_ENGINEERING:2=CMD_PARAM_MISSING", OP_CONFIG,
         L() + kEngSend + "INFO Engineering mode enabled." +
             "ERROR Engineering command failed due to an unknown error. [Code=0x04, 'CMD_PARAM_MISSING']." +
             "INFO Engineering USBL calibration stored." + "@SYSINFO_OLD_USBL" + "@CONFIG_CONFIGURED",
         "SIC"},
        {"ConfigUserFlags", "", OP_CONFIG_USER,
         L() + kUserSend + "ERROR Engineering unknown action code." + "@SYSINFO_USERFLAGS" + kConfigReport, "SIC"},
        {"ConfigNoAnswer", "--drop SYS_ENGINEERING --drop SYS_INFO --drop CONFIG_GET", OP_CONFIG,
         L() + kEngSend + kTimeout + kAbort, "SE"},
        {"ConfigEnableLost", "--drop SYS_ENGINEERING:1", OP_CONFIG,
         L() + kEngSend + "ERROR Engineering hardware configure command failed." +
             "ERROR Engineering USBL calibration command failed." + kSysInfoOld + kConfigReport,
         "SIC", FP_WAIT_ACK},
        {"ConfigDeviceClosed", "--close-at SYS_ENGINEERING:1", OP_CONFIG, L() + kEngSend + "@CLOSED" + kTimeout + kAbort,
         "SE"},
    };
    return table;
}

// "*" matches any run of characters.
bool Glob(const char* pattern, const char* text)
{
    if (*pattern == 0)
        return *text == 0;
    if (*pattern == '*')
        return Glob(pattern + 1, text) || (*text != 0 && Glob(pattern, text + 1));
    return *pattern == *text && Glob(pattern + 1, text + 1);
}

std::string ActionLetters(const std::vector<EQvFlashProgAction>& actions, size_t from)
{
    static const char letters[] = "SXDEPIC";
    std::string out;
    for (size_t i = from; i < actions.size(); ++i)
        out += letters[actions[i]];
    return out;
}

void PrintTo(const TRelScenario& s, std::ostream* os)
{
    *os << s.Name;
}

// Expands the "@" macros of an expected log; `portName` is the port of the faulty beacon.
std::vector<std::string> Expand(const std::vector<std::string>& lines, const std::string& portName)
{
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        if (line == "@CLOSED") {
            out.push_back("ERROR Serial port '" + portName + "' was lost.");
        } else if (line.rfind("@SYSINFO_", 0) == 0) {
            std::vector<std::string> report = kSysInfoOld;
            if (line == "@SYSINFO_CONFIGURED") {
                report[4] = "INFO Hardware Revision = 4";
                report[5] = "INFO Hardware Serial Number = 200001";
                report[7] = "INFO Hardware Flags User = 0x0005";
            } else if (line == "@SYSINFO_USERFLAGS") {
                report[7] = "INFO Hardware Flags User = 0x0005";
            }
            out.insert(out.end(), report.begin(), report.end());
        } else if (line == "@CONFIG_CONFIGURED") {
            std::vector<std::string> report = kConfigReport;
            report[7] = "INFO Usbl Calibration Valid = True";
            report[8] = "INFO Usbl Baseline 10: A = 0.50000000, B = 0.00000000, C = 1.00000000, D = 0.00000000";
            out.insert(out.end(), report.begin(), report.end());
        } else {
            out.push_back(line);
        }
    }
    return out;
}

TQvCmdEngineeringConfig Config()
{
    TQvCmdEngineeringConfig config;
    config.EngMode = true;
    config.Hardware = {1520, 4, 200001, 0x0011, 0x0005};
    config.UsblCal.Valid = true;
    for (int b = 0; b < TQvCmdUsblCal::BaselineCount; ++b)
        config.UsblCal.Baseline[b * TQvCmdUsblCal::CoefCount + TQvCmdUsblCal::COEF_C] = 1.0f;
    config.UsblCal.Baseline[TQvCmdUsblCal::COEF_A] = 0.5f;
    return config;
}

// Runs a scenario on a station: the exact log of the operation, the engine's events and its
// state afterwards, nothing more after a pause; then a clean beacon is programmed at once.
void RunScenario(TRelStation& station, const TRelScenario& s)
{
    std::vector<uint8_t> image;
    const std::string package = RelWritePackage(station.Dir(), 3, 256, image);

    std::vector<std::string> args = RelSplit(s.Faults);
    args.insert(args.end(), {"--reboot-ms", "300"});
    ASSERT_TRUE(station.Connect(args)) << station.Dump();
    const std::string faultyPort = station.PortName();
    const size_t firstLine = station.Lines().size();

    TQvFlashProg* engine = station.Engine();
    switch (s.Op) {
    case OP_PROGRAM:
        ASSERT_EQ(engine->DeviceProgram(package), FP_OK) << station.Dump();
        break;
    case OP_INFO:
        ASSERT_EQ(engine->DeviceInfo(), FP_OK);
        break;
    case OP_CONFIG:
        ASSERT_EQ(engine->DeviceConfig("SEAFLOOR", Config()), FP_OK);
        break;
    case OP_CONFIG_BADKEY:
        ASSERT_EQ(engine->DeviceConfig("SEABOTTOM", Config()), FP_OK);
        break;
    case OP_CONFIG_USER: {
        TQvCmdEngineeringConfig config = Config();
        config.EngMode = false;
        ASSERT_EQ(engine->DeviceConfig("", config), FP_OK);
        break;
    }
    }

    // The program run's log starts after the package summary.
    size_t from = firstLine;
    if (s.Op == OP_PROGRAM) {
        ASSERT_TRUE(station.WaitUntil([&] { return station.Lines().size() > firstLine + 9; }, 5000))
            << station.Dump(firstLine);
        from = firstLine + 9;
        EXPECT_EQ(station.Lines()[from], "INFO Device initialising...") << station.Dump(firstLine);
    }

    const std::vector<std::string> expected = Expand(s.Expected, faultyPort);
    const bool ended = station.WaitUntil(
        [&] { return engine->State() == s.Final && station.Lines().size() >= from + expected.size(); }, 30000);
    // Nothing more may follow: no late time-out, no second end.
    station.WaitUntil([] { return false; }, s.Final == FP_IDLE ? 300 : 1300);
    ASSERT_TRUE(ended) << "state " << int(engine->State()) << "\n" << station.Dump(from);

    const std::vector<std::string> lines = station.Lines();
    const std::vector<std::string> actual(lines.begin() + static_cast<long>(from), lines.end());
    bool same = actual.size() == expected.size();
    for (size_t i = 0; same && i < actual.size(); ++i)
        same = Glob(expected[i].c_str(), actual[i].c_str());
    EXPECT_TRUE(same) << "expected:\n" << testing::PrintToString(expected) << "\nactual:\n" << station.Dump(from);
    EXPECT_EQ(ActionLetters(station.Actions(), 0), s.Actions);
    EXPECT_EQ(engine->State(), s.Final);
    if (s.Final == FP_IDLE) {
        EXPECT_FALSE(engine->Timer().Enabled());
        EXPECT_TRUE(engine->Filename().empty());
    } else {
        EXPECT_FALSE(engine->Timer().Enabled()); // waits without a time limit, by design
    }
    EXPECT_TRUE(station.Boxes().empty());
    if (std::string(s.Faults).find("--close-at") != std::string::npos) {
        EXPECT_FALSE(station.Port()->Connected());
        EXPECT_TRUE(station.Port()->DeviceLost());
    } else {
        EXPECT_TRUE(station.Port()->Connected());
    }

    // A clean beacon on a new line: the same engine programs it at once.
    ASSERT_TRUE(station.Connect({"--reboot-ms", "300"})) << station.Dump(from);
    if (engine->State() != FP_IDLE) {
        EXPECT_EQ(engine->DeviceProgram(package), FP_ERR_FILEOPEN); // ends the waiting exchange
        EXPECT_EQ(engine->State(), FP_IDLE);
    }
    const size_t cleanFrom = station.Lines().size();
    const size_t cleanActions = station.Actions().size();
    ASSERT_EQ(engine->DeviceProgram(package), FP_OK) << station.Dump(cleanFrom);
    ASSERT_TRUE(station.WaitUntil(
        [&] {
            const auto& acts = station.Actions();
            for (size_t i = cleanActions; i < acts.size(); ++i)
                if (acts[i] == FP_ACTION_DONE || acts[i] == FP_ACTION_ERROR)
                    return true;
            return false;
        },
        20000))
        << station.Dump(cleanFrom);
    EXPECT_EQ(ActionLetters(station.Actions(), cleanActions), "SPPPD") << station.Dump(cleanFrom);
    const std::vector<std::string> after = station.Lines();
    EXPECT_EQ(after.back(), kDone);
    for (size_t i = cleanFrom; i < after.size(); ++i)
        EXPECT_NE(after[i].rfind("ERROR", 0), 0u) << after[i];
    EXPECT_EQ(station.BeaconImage(), image);
    EXPECT_EQ(engine->State(), FP_IDLE);
}

// Every scenario, on the manual clock over the in-memory port.
class RelFaultMatrix : public testing::TestWithParam<TRelScenario> {};

TEST_P(RelFaultMatrix, LogsItsLinesEndsAndRecovers)
{
    TRelMemStation station;
    RunScenario(station, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RelFaultMatrix, testing::ValuesIn(Scenarios()),
                         [](const testing::TestParamInfo<TRelScenario>& info) { return std::string(info.param.Name); });

// A few scenarios end to end: the program's core over a pseudo-terminal on real timers.
class RelFaultMatrixPty : public testing::TestWithParam<TRelScenario> {};

TEST_P(RelFaultMatrixPty, LogsItsLinesEndsAndRecovers)
{
    TRelPtyStation station;
    RunScenario(station, GetParam());
}

std::vector<TRelScenario> PtyScenarios()
{
    // The reference run, a rejected reply, replies split into single bytes, a device that goes
    // away, and an exchange left waiting: what depends on the real line and timers.
    const std::vector<std::string> names = {"Clean", "CorruptFirstBlockReply", "RepliesByteByByte",
                                            "CloseAtMiddleBlock", "InfoSysInfoLost"};
    std::vector<TRelScenario> out;
    for (const TRelScenario& s : Scenarios())
        for (const std::string& name : names)
            if (name == s.Name)
                out.push_back(s);
    EXPECT_EQ(out.size(), names.size());
    return out;
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, RelFaultMatrixPty, testing::ValuesIn(PtyScenarios()),
                         [](const testing::TestParamInfo<TRelScenario>& info) { return std::string(info.param.Name); });

} // namespace
