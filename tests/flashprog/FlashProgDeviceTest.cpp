// The information exchange and the factory configuration write, against the in-process
// simulated beacon: the reports line by line, the events, the commands on the line, and the
// engineering reply table.
#include "flashprog/QvFlashProg.h"

#include "tests/flashprog/FlashProgTestSupport.h"
#include "tests/protocol/ProtocolTestHelpers.h"
#include "tools/fwxpack/QvFwxPack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A beacon whose every reported value is distinct, with the report's edge cases: an unknown
// section, a part number below five digits, flags with hex letters.
TQvSimConfig Beacon()
{
    TQvSimConfig config;
    TQvSimState& s = config.State;
    s.Uptime = 3600;
    s.Section = 7;
    s.Hardware = {123, 4, 4567, 0x001A, 0xBEEF};
    s.Boot = {true, 1521, 1, 2, 3, 0x3C5A9E01};
    s.App = {false, 22, 10, 0, 65535, 0xFFFFFFFF};
    s.Eui48 = 0xAABBCCDDEEFFull;
    s.Pressure = {30211, 2, 5, 200, 12, 6, 2025};
    s.Usbl.Valid = true;
    s.Usbl.Baseline = {};
    for (size_t k = 0; k < 6; ++k)
        s.Usbl.Baseline[4 * k + 1] = 1.0f;
    // Baseline 10 stored D, C, B, A.
    s.Usbl.Baseline[0] = 0.5f;
    s.Usbl.Baseline[1] = 1.25f;
    s.Usbl.Baseline[2] = -0.125f;
    s.Usbl.Baseline[3] = 2.0f;
    return config;
}

const std::vector<std::string> kInfoReport = {
    "INFO Device information...",
    "INFO Uptime = 3600 seconds",
    "INFO Run Section = UNKNOWN (7)",
    "INFO Hardware Part Number = CV00123",
    "INFO Hardware Revision = 4",
    "INFO Hardware Serial Number = 004567",
    "INFO Hardware Flags Sys = 0x001a",
    "INFO Hardware Flags User = 0xbeef",
    "INFO Bootloader Valid = True",
    "INFO Bootloader Part Number = CV01521",
    "INFO Bootloader Version = v1.2.3",
    "INFO Bootloader Checksum = 0x3c5a9e01",
    "INFO Application Valid = False",
    "INFO Application Part Number = CV00022",
    "INFO Application Version = v10.0.65535",
    "INFO Application Checksum = 0xffffffff",
};

const std::vector<std::string> kConfigReport = {
    "INFO Config Information...",
    "INFO Hardware EUI48 = AA-BB-CC-DD-EE-FF",
    "INFO Pressure Sensor Id = 30211",
    "INFO Pressure Sensor Type = PAA",
    "INFO Pressure Sensor Calibrated = 2025-06-12",
    "INFO Pressure Sensor Min Pressure = 5.0 bar",
    "INFO Pressure Sensor Max Pressure = 200.0 bar",
    "INFO Usbl Calibration Valid = True",
    "INFO Usbl Baseline 10: A = 2.00000000, B = -0.12500000, C = 1.25000000, D = 0.50000000",
    "INFO Usbl Baseline 20: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 21: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 30: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 31: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
    "INFO Usbl Baseline 32: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What the factory writes: a new identity and a calibration whose baseline 32 is not neutral.
TQvCmdEngineeringConfig FactoryConfig(bool engMode)
{
    TQvCmdEngineeringConfig config;
    config.EngMode = engMode;
    config.Hardware = {2345, 6, 778899, 0x0102, 0x00C3};
    config.UsblCal.Valid = true;
    config.UsblCal.SetNeutral();
    config.UsblCal.Baseline[20] = -1.5f; // baseline 32: D
    config.UsblCal.Baseline[23] = 0.25f; // baseline 32: A
    return config;
}

TQvSimStatusRule StatusRule(const std::string& text)
{
    TQvSimStatusRule rule;
    std::string error;
    EXPECT_TRUE(TQvSimStatusRule::Parse(text, rule, error)) << error;
    return rule;
}

std::vector<std::string> Errors(const TFpRig& rig)
{
    return rig.Log.Texts(logError);
}

} // namespace

TEST(QvFlashProgDevice, InfoWithBothReplies)
{
    TFpRig rig(Beacon());
    ASSERT_EQ(rig.Engine->DeviceInfo(), FP_OK);
    EXPECT_EQ(rig.Engine->State(), FP_WAIT_ACK);
    EXPECT_EQ(rig.Engine->WaitAckCount(), 2);
    EXPECT_EQ(rig.SentLines(), (std::vector<std::string>{"#0281C1", "#1A81CB"}));
    rig.Pump();

    EXPECT_EQ(rig.Log.Lines(),
              Join(Join({"INFO Device identifying...", "INFO Device getting config..."}, kInfoReport), kConfigReport));
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_START, FP_ACTION_INFO, FP_ACTION_CONFIG}));
    const TQvCmdInfo& info = rig.Actions[1].Info;
    EXPECT_EQ(Val(info.Hardware.SerialNumber), 4567u);
    EXPECT_EQ(Val(info.App.Checksum), 0xFFFFFFFFu);
    EXPECT_EQ(rig.Actions[1].Progress, 0);
    const TQvCmdConfig& config = rig.Actions[2].Config;
    EXPECT_EQ(Val(config.MacAddr.fValue), 0xAABBCCDDEEFFull);
    EXPECT_EQ(Val(config.UsblCal.Baseline[3]), 2.0f);
    EXPECT_EQ(Val(config.PressureSensor.CalMax), 200.0f);

    // Done silently; a following DeviceProgram starts normally.
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
    EXPECT_EQ(rig.Engine->WaitAckCount(), 0);
    EXPECT_FALSE(rig.Engine->Timer().Enabled());
    TFpTempDir dir;
    TQvFwxPackOptions options;
    std::string error;
    ASSERT_TRUE(TQvFwxPack::WriteFile(dir.File("a.fwx"), std::vector<uint8_t>(8, 1), options, error)) << error;
    EXPECT_EQ(rig.Engine->DeviceProgram(dir.File("a.fwx")), FP_OK);
}

TEST(QvFlashProgDevice, InfoWithOnlyTheSystemInformationReply)
{
    TQvSimConfig config = Beacon();
    TQvSimSelector drop;
    std::string error;
    ASSERT_TRUE(TQvSimSelector::Parse("CONFIG_GET", drop, error));
    config.Faults.Drop.push_back(drop);
    TFpRig rig(config);
    ASSERT_EQ(rig.Engine->DeviceInfo(), FP_OK);
    rig.Advance(60000);
    // One report and its event; the configuration reply is awaited without a time limit.
    EXPECT_EQ(rig.Log.Lines(), Join({"INFO Device identifying...", "INFO Device getting config..."}, kInfoReport));
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_START, FP_ACTION_INFO}));
    EXPECT_EQ(rig.Engine->State(), FP_WAIT_ACK);
    EXPECT_EQ(rig.Engine->WaitAckCount(), 1);
    EXPECT_FALSE(rig.Engine->Timer().Enabled());
    // Until a DeviceProgram ends it through its busy check.
    EXPECT_EQ(rig.Engine->DeviceProgram("whatever.fwx"), FP_ERR_FILEOPEN);
    EXPECT_EQ(Errors(rig), (std::vector<std::string>{"Another programming operation is currently in progress.",
                                                      "Aborted."}));
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
}

TEST(QvFlashProgDevice, NoReplyTimesOutAfterTheLastSend)
{
    TFpRig rig;
    rig.Answering = false;
    rig.Clock.Advance(250);
    ASSERT_EQ(rig.Engine->DeviceConfig("SEAFLOOR", FactoryConfig(true)), FP_OK);
    EXPECT_EQ(rig.Engine->WaitAckCount(), 5);
    rig.Advance(5000);
    EXPECT_EQ(Errors(rig), (std::vector<std::string>{"Timed out waiting for device to reply.", "Aborted."}));
    EXPECT_EQ(rig.Log.TimeOf("Aborted."), 1250);
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_START, FP_ACTION_ERROR}));
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
}

TEST(QvFlashProgDevice, PortNotConnected)
{
    TFpRig rig;
    rig.Port.Close();
    rig.Port.TakeWritten();
    EXPECT_EQ(rig.Engine->DeviceInfo(), FP_ERR_COMMS);
    EXPECT_EQ(rig.Engine->DeviceConfig("SEAFLOOR", FactoryConfig(true)), FP_ERR_COMMS);
    EXPECT_EQ(rig.Log.Lines(), (std::vector<std::string>{"ERROR The serial comms port is not connected.",
                                                          "ERROR The serial comms port is not connected."}));
    EXPECT_TRUE(rig.Actions.empty());
    EXPECT_EQ(rig.Port.Written(), "");
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
}

TEST(QvFlashProgDevice, ConfigInEngineeringMode)
{
    TFpRig rig(Beacon());
    const TQvCmdEngineeringConfig config = FactoryConfig(true);
    // A key longer than 8 characters travels as its first 8 bytes.
    ASSERT_EQ(rig.Engine->DeviceConfig("SEAFLOORXYZ", config), FP_OK);
    EXPECT_EQ(rig.Engine->WaitAckCount(), 5);
    const std::vector<std::string> sent = rig.SentLines();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0] + "\r\n", TxLine({0x04, 0x01, 'S', 'E', 'A', 'F', 'L', 'O', 'O', 'R'}));
    EXPECT_EQ(sent[1] + "\r\n", TxLine({0x04, 0x02, 0x29, 0x09, 0x06, 0x93, 0xE2, 0x0B, 0x00, 0x02, 0x01, 0xC3, 0x00}));
    EXPECT_EQ(sent[2].substr(0, 5), "#0420");
    EXPECT_EQ(sent[2].size(), 1 + 2 * (99 + 2));
    EXPECT_EQ(sent[3], "#0281C1");
    EXPECT_EQ(sent[4], "#1A81CB");
    rig.Pump();

    const std::vector<std::string> lines = rig.Log.Lines();
    const std::vector<std::string> requests(lines.begin(), lines.begin() + 17);
    EXPECT_EQ(requests, (std::vector<std::string>{
                            "INFO Device enabling engineering mode...",
                            "INFO Device setting hardware configuration...",
                            "INFO Hardware Part Number = CV02345",
                            "INFO Hardware Revision = 6",
                            "INFO Hardware Serial Number = 778899",
                            "INFO Hardware Flags Sys = 0x0102",
                            "INFO Hardware Flags User = 0x00c3",
                            "INFO Device setting Usbl calibration...",
                            "INFO Usbl Calibration Valid = True",
                            "INFO Usbl Baseline 10: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
                            "INFO Usbl Baseline 20: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
                            "INFO Usbl Baseline 21: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
                            "INFO Usbl Baseline 30: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
                            "INFO Usbl Baseline 31: A = 0.00000000, B = 0.00000000, C = 1.00000000, D = 0.00000000",
                            "INFO Usbl Baseline 32: A = 0.25000000, B = 0.00000000, C = 1.00000000, D = -1.50000000",
                            "INFO Device identifying...",
                            "INFO Device getting config...",
                        }));
    const std::vector<std::string> replies(lines.begin() + 17, lines.begin() + 20);
    EXPECT_EQ(replies, (std::vector<std::string>{"INFO Engineering mode enabled.",
                                                 "INFO Engineering hardware configuration stored.",
                                                 "INFO Engineering USBL calibration stored."}));
    EXPECT_TRUE(Errors(rig).empty());
    // The read-back shows what the beacon now holds.
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_START, FP_ACTION_INFO, FP_ACTION_CONFIG}));
    EXPECT_EQ(Val(rig.Actions[1].Info.Hardware.SerialNumber), 778899u);
    EXPECT_EQ(Val(rig.Actions[2].Config.UsblCal.Baseline[20]), -1.5f);
    EXPECT_EQ(rig.Log.Count("Hardware Part Number = CV02345"), 2u);
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
}

TEST(QvFlashProgDevice, ConfigWithoutEngineeringModeWritesOnlyTheUserFlags)
{
    TFpRig rig(Beacon());
    ASSERT_EQ(rig.Engine->DeviceConfig("", FactoryConfig(false)), FP_OK);
    EXPECT_EQ(rig.SentLines(), (std::vector<std::string>{HandLine('#', {0x04, 0x03, 0xC3, 0x00}), "#0281C1", "#1A81CB"}));
    EXPECT_EQ(rig.Engine->WaitAckCount(), 3);
    rig.Pump();
    const std::vector<std::string> lines = rig.Log.Lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
              (std::vector<std::string>{"INFO Device setting hardware user flags...", "INFO Hardware Flags User = 0x00c3",
                                        "INFO Device identifying...", "INFO Device getting config...",
                                        "ERROR Engineering unknown action code."}));
    // The beacon answers action 3, which the table does not know; the exchange carries on.
    EXPECT_EQ(rig.ActionKinds(), (std::vector<EQvFlashProgAction>{FP_ACTION_START, FP_ACTION_INFO, FP_ACTION_CONFIG}));
    EXPECT_EQ(Val(rig.Actions[1].Info.Hardware.FlagsUser), 0x00C3);
    EXPECT_EQ(Val(rig.Actions[1].Info.Hardware.PartNumber), 123); // identity untouched
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
}

TEST(QvFlashProgDevice, RefusedWritesAreReportedAndTheExchangeEnds)
{
    const struct {
        const char* Key;
        const char* Rule;
        std::vector<std::string> Errors;
    } cases[] = {
        {"WRONGKEY",
         "",
         {"Engineering mode enable failed.", "Engineering hardware configure command failed.",
          "Engineering USBL calibration command failed."}},
        {"SEAFLOOR",
         "SYS_ENGINEERING:2=CMD_PARAM_MISSING",
         {"Engineering command failed due to an unknown error. [Code=0x04, \"CMD_PARAM_MISSING\"]."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Key);
        TQvSimConfig config = Beacon();
        if (*c.Rule)
            config.Faults.Status.push_back(StatusRule(c.Rule));
        TFpRig rig(config);
        ASSERT_EQ(rig.Engine->DeviceConfig(c.Key, FactoryConfig(true)), FP_OK);
        rig.Advance(5000);
        EXPECT_EQ(Errors(rig), FpLogged(c.Errors));
        EXPECT_EQ(rig.ActionKinds(),
                  (std::vector<EQvFlashProgAction>{FP_ACTION_START, FP_ACTION_INFO, FP_ACTION_CONFIG}));
        EXPECT_EQ(Val(rig.Actions[1].Info.Hardware.SerialNumber), 4567u); // the beacon kept its identity
        EXPECT_EQ(rig.Engine->State(), FP_IDLE);
    }
}

// Engineering replies by hand (while idle nothing follows from them): every row of the table.
TEST(QvFlashProgDevice, EngineeringReplyTable)
{
    const struct {
        uint8_t Action;
        uint8_t Status;
        const char* Line;
    } cases[] = {
        {0, 0x00, "INFO Engineering mode is currently enabled."},
        {0, 0x01, "INFO Engineering mode is currently disabled."},
        {0, 0x05, "ERROR Engineering command failed due to an unknown error. [Code=0x05, \"CMD_PARAM_INVALID\"]."},
        {1, 0x00, "INFO Engineering mode enabled."},
        {1, 0x01, "ERROR Engineering mode enable failed."},
        {1, 0x02, "ERROR Engineering command failed due to an unknown error. [Code=0x02, \"UNKNOWN\"]."},
        {2, 0x00, "INFO Engineering hardware configuration stored."},
        {2, 0x01, "ERROR Engineering hardware configure command failed."},
        {32, 0x00, "INFO Engineering USBL calibration stored."},
        {32, 0x01, "ERROR Engineering USBL calibration command failed."},
        {32, 0x0A, "ERROR Engineering command failed due to an unknown error. [Code=0x0a, \"PROG_FLASH_ERROR\"]."},
        {3, 0x00, "ERROR Engineering unknown action code."},
        {33, 0x01, "ERROR Engineering unknown action code."},
    };
    TFpRig rig;
    rig.Answering = false;
    for (const auto& c : cases) {
        rig.Log.Clear();
        rig.Port.Receive(RxLine({0x04, c.Status, c.Action}) + "\r\n");
        EXPECT_EQ(rig.Log.Lines(), FpLogged(std::vector<std::string>{c.Line}))
            << int(c.Action) << "/" << int(c.Status);
    }
    EXPECT_TRUE(rig.Actions.empty());
    EXPECT_EQ(rig.Engine->State(), FP_IDLE);
}
