// The simulated beacon in process on a manual clock: its replies decoded by the program's
// protocol layer, the programming conversation with its reboot, and every refusal.
#include "SimTestSupport.h"

#include "protocol/QvCmdDefs.h"

#include <cstdio>
#include <filesystem>

namespace {
TQvSimConfig IdentityConfig()
{
    TQvSimConfig c;
    TQvSimState& s = c.State;
    s.Uptime = 100;
    s.Hardware = {2345, 7, 654321, 0x1234, 0x00AB};
    s.Boot = {true, 3001, 1, 9, 77, 0x11223344};
    s.App = {true, 3002, 4, 5, 678, 0xDEADBEEF};
    s.Eui48 = 0xAABBCCDDEEFFull;
    s.Pressure = {98765, 2, 5, 350, 29, 2, 2024};
    s.Usbl.Valid = true;
    for (size_t i = 0; i < 24; ++i)
        s.Usbl.Baseline[i] = 0.5f * static_cast<float>(i) - 3.0f;
    return c;
}
} // namespace

TEST(SimBeacon, InfoAndConfigRepliesCarryTheStateInTheirLayouts)
{
    TSimRig rig(IdentityConfig());
    const std::string infoLine = rig.Ask(SimInfoRequest());
    EXPECT_EQ(infoLine.size(), 1 + 2 * (39 + 2u)); // 39 bytes and the checksum
    const TQvCmdInfo info = SimDecode<TQvCmdMsgRxSysInfo>(infoLine).Info();
    EXPECT_EQ(+info.Uptime, 100u);
    EXPECT_EQ(+info.Section, 1);
    EXPECT_EQ(+info.Hardware.PartNumber, 2345);
    EXPECT_EQ(+info.Hardware.PartRevision, 7);
    EXPECT_EQ(+info.Hardware.SerialNumber, 654321u);
    EXPECT_EQ(+info.Hardware.FlagsSys, 0x1234);
    EXPECT_EQ(+info.Hardware.FlagsUser, 0x00AB);
    EXPECT_TRUE(info.Boot.Valid);
    EXPECT_EQ(+info.Boot.PartNumber, 3001);
    EXPECT_EQ(+info.Boot.Version.Major, 1);
    EXPECT_EQ(+info.Boot.Version.Minor, 9);
    EXPECT_EQ(+info.Boot.Version.Build, 77);
    EXPECT_EQ(+info.Boot.Checksum, 0x11223344u);
    EXPECT_TRUE(info.App.Valid);
    EXPECT_EQ(+info.App.PartNumber, 3002);
    EXPECT_EQ(+info.App.Version.Build, 678);
    EXPECT_EQ(+info.App.Checksum, 0xDEADBEEFu);

    const std::string configLine = rig.Ask(SimConfigRequest());
    EXPECT_EQ(configLine.size(), 1 + 2 * (117 + 2u));
    const TQvCmdConfig config = SimDecode<TQvCmdMsgRxConfigGet>(configLine).Config();
    EXPECT_EQ(config.MacAddr.AddressText(), "AA-BB-CC-DD-EE-FF");
    EXPECT_EQ(+config.PressureSensor.CalId, 98765u);
    EXPECT_EQ(+config.PressureSensor.CalType, PRESSURE_CAL_TYPE_PAA);
    EXPECT_EQ(+config.PressureSensor.CalMin, 5.0f);
    EXPECT_EQ(+config.PressureSensor.CalMax, 350.0f);
    EXPECT_EQ(+config.PressureSensor.CalDate, 45351.0); // 2024-02-29
    EXPECT_TRUE(config.UsblCal.Valid);
    for (size_t i = 0; i < 24; ++i)
        EXPECT_EQ(+config.UsblCal.Baseline[i], 0.5f * static_cast<float>(i) - 3.0f) << i;

    rig.Clock.Advance(5999);
    EXPECT_EQ(+rig.Info().Uptime, 105u); // whole seconds of the beacon's clock
}

TEST(SimBeacon, ProgrammingConversationRebootsIntoTheNewApplication)
{
    TQvSimConfig config;
    config.RebootMs = 3000;
    config.State.EngEnabled = true;
    TSimRig rig(config);
    const std::vector<uint8_t> image = SimTestImage(1000);
    rig.Clock.Advance(42000);

    EXPECT_EQ(SimStatusOf(rig.Ask(SimInitRequest(SimInitFor(image)))), CST_OK);
    EXPECT_FALSE(rig.Info().App.Valid) << "an initialisation invalidates the application";
    for (size_t pos = 0; pos < image.size(); pos += 256) {
        const std::vector<uint8_t> block(image.begin() + static_cast<std::ptrdiff_t>(pos),
                                         image.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(pos + 256, image.size())));
        EXPECT_EQ(SimStatusOf(rig.Ask(SimBlockRequest(block))), CST_OK);
    }
    EXPECT_EQ(rig.Beacon->Received(), 1000u);
    EXPECT_EQ(SimStatusOf(rig.Ask(SimUpdateRequest())), CST_OK);

    // Silent while rebooting: requests are dropped, a line cut by the reboot's end is no line.
    EXPECT_TRUE(rig.Beacon->Rebooting());
    EXPECT_EQ(rig.Ask(SimInfoRequest()), "");
    rig.Clock.Advance(2999);
    EXPECT_EQ(rig.Ask(SimInfoRequest()), "");
    const std::string info = SimInfoRequest();
    rig.Send(info.substr(0, 4));
    rig.Clock.Advance(1);
    EXPECT_FALSE(rig.Beacon->Rebooting());
    EXPECT_EQ(rig.Ask(info.substr(4)), "");

    const TQvCmdInfo after = rig.Info();
    EXPECT_EQ(+after.Section, 1);
    EXPECT_TRUE(after.App.Valid);
    EXPECT_EQ(+after.App.Checksum, TCvCrc::Crc32(image));
    EXPECT_EQ(+after.Uptime, 0u);
    EXPECT_EQ(rig.Beacon->Image(), image);
    // Engineering access does not survive the reboot.
    TQvCmdMsgRxSysEngineering eng = SimDecode<TQvCmdMsgRxSysEngineering>(rig.Ask(SimEngRequest(0)));
    EXPECT_EQ(eng.Status(), CST_FAIL);
}

TEST(SimBeacon, WithoutAValidApplicationItRunsTheBootSectionAndStillProgrammes)
{
    auto rig = TSimRig::FromArgs({"--app-valid", "0", "--reboot-ms", "0"});
    EXPECT_EQ(+rig->Info().Section, 0);
    EXPECT_FALSE(rig->Info().App.Valid);
    EXPECT_EQ(rig->Program(SimTestImage(700)), CST_OK);
    EXPECT_EQ(+rig->Info().Section, 1);
    EXPECT_TRUE(rig->Info().App.Valid);
}

TEST(SimBeacon, ProgrammingRefusalsGiveTheirStatus)
{
    const std::vector<uint8_t> image = SimTestImage(600);
    const std::vector<uint8_t> half(image.begin(), image.begin() + 300);
    // Defaults: part 1520, revision 3, serial 104857, flash 512 KiB.
    TSimInit good = SimInitFor(image);
    auto with = [&good](auto change) {
        TSimInit i = good;
        change(i);
        return SimInitRequest(i);
    };
    struct TCase {
        const char* Name;
        std::vector<std::string> Requests; // the last one's reply is checked
        uint8_t Status;
    };
    const std::vector<TCase> cases = {
        {"exact identity", {with([](TSimInit& i) { i.PartNumber = 1520; i.RevMin = 3; i.RevMax = 3; i.SerialNumber = 104857; })}, CST_OK},
        {"any identity", {with([](TSimInit&) {})}, CST_OK},
        {"boot section", {with([](TSimInit& i) { i.Section = 0; })}, CST_PROG_SECTION_ERROR},
        {"section 2", {with([](TSimInit& i) { i.Section = 2; })}, CST_PROG_SECTION_ERROR},
        {"other part", {with([](TSimInit& i) { i.PartNumber = 1521; })}, CST_PROG_FIRMWARE_ERROR},
        {"revision below", {with([](TSimInit& i) { i.RevMin = 4; i.RevMax = 9; })}, CST_PROG_FIRMWARE_ERROR},
        {"revision above", {with([](TSimInit& i) { i.RevMin = 1; i.RevMax = 2; })}, CST_PROG_FIRMWARE_ERROR},
        {"other serial", {with([](TSimInit& i) { i.SerialNumber = 104858; })}, CST_PROG_FIRMWARE_ERROR},
        {"larger than flash", {with([](TSimInit& i) { i.Length = 512 * 1024 + 1; })}, CST_PROG_LENGTH_ERROR},
        {"no length", {with([](TSimInit& i) { i.Length = 0; })}, CST_PROG_LENGTH_ERROR},
        {"block before init", {SimBlockRequest(half)}, CST_PROG_FIRMWARE_ERROR},
        {"block after refused init", {with([](TSimInit& i) { i.Section = 0; }), SimBlockRequest(half)}, CST_PROG_FIRMWARE_ERROR},
        {"more data than announced", {SimInitRequest(good), SimBlockRequest(image), SimBlockRequest(half)}, CST_PROG_LENGTH_ERROR},
        {"update before init", {SimUpdateRequest()}, CST_PROG_FIRMWARE_ERROR},
        {"update short of data", {SimInitRequest(good), SimBlockRequest(half), SimUpdateRequest()}, CST_PROG_LENGTH_ERROR},
        {"update wrong checksum",
         {with([](TSimInit& i) { i.Checksum ^= 1; }), SimBlockRequest(image), SimUpdateRequest()}, CST_PROG_CHECKSUM_ERROR},
        {"update twice", {SimInitRequest(good), SimBlockRequest(half), SimUpdateRequest(), SimUpdateRequest()}, CST_PROG_FIRMWARE_ERROR},
    };
    for (const TCase& c : cases) {
        TSimRig rig;
        std::string reply;
        for (const std::string& r : c.Requests)
            reply = rig.Ask(r);
        EXPECT_EQ(SimStatusOf(reply), c.Status) << c.Name;
        if (c.Status != CST_OK) {
            EXPECT_FALSE(rig.Beacon->Rebooting()) << c.Name;
            EXPECT_NE(rig.Ask(SimInfoRequest()), "") << c.Name << ": a refusal does not reboot";
        }
    }
}

TEST(SimBeacon, RefusedUpdateLeavesTheApplicationInvalidUnlessAnyChecksumIsAccepted)
{
    const std::vector<uint8_t> image = SimTestImage(256);
    TSimInit init = SimInitFor(image);
    init.Checksum = 0x12345678;
    for (const bool acceptAny : {false, true}) {
        TQvSimConfig config;
        config.RebootMs = 0;
        config.AcceptAnyChecksum = acceptAny;
        TSimRig rig(config);
        rig.Ask(SimInitRequest(init));
        rig.Ask(SimBlockRequest(image));
        EXPECT_EQ(SimStatusOf(rig.Ask(SimUpdateRequest())), acceptAny ? CST_OK : CST_PROG_CHECKSUM_ERROR);
        const TQvCmdInfo info = rig.Info();
        EXPECT_EQ(static_cast<bool>(info.App.Valid), acceptAny);
        EXPECT_EQ(+info.App.Checksum, acceptAny ? 0x12345678u : TQvSimState::Defaults().App.Checksum);
    }
}

TEST(SimBeacon, EngineeringActionsNeedTheKeyWhereTheyArePrivileged)
{
    TSimRig rig; // key "SEAFLOOR", engineering off
    TQvCmdInfoHardware hw{4321, 9, 777, 0x0F0F, 0x5555};
    TQvCmdUsblCal cal;
    cal.Valid = true;
    for (size_t i = 0; i < 24; ++i)
        cal.Baseline[i] = static_cast<float>(i) / 8.0f;
    struct TStep {
        const char* Name;
        std::string Request;
        uint8_t Status;
        uint8_t Action;
    };
    const std::vector<TStep> steps = {
        {"query while off", SimEngRequest(0), CST_FAIL, 0},
        {"hardware while off", SimEngRequest(2, "", hw), CST_FAIL, 2},
        {"calibration while off", SimEngRequest(32, "", {}, cal), CST_FAIL, 32},
        {"wrong key", SimEngRequest(1, "SEAFLOOX"), CST_FAIL, 1},
        {"short key", SimEngRequest(1, "SEAFLOO"), CST_FAIL, 1},
        {"still off", SimEngRequest(2, "", hw), CST_FAIL, 2},
        {"user flags need no key", SimEngRequest(3, "", hw), CST_OK, 3},
        {"key cut to 8 characters", SimEngRequest(1, "SEAFLOOR-and-more"), CST_OK, 1},
        {"query while on", SimEngRequest(0), CST_OK, 0},
        {"hardware", SimEngRequest(2, "", hw), CST_OK, 2},
        {"calibration", SimEngRequest(32, "", {}, cal), CST_OK, 32},
        {"unknown action", SimEngRequest(9), CST_CMD_PARAM_INVALID, 9},
    };
    for (const TStep& s : steps) {
        const std::string reply = rig.Ask(s.Request);
        EXPECT_EQ(reply.size(), 1 + 2 * (3 + 2u)) << s.Name;
        const TQvCmdMsgRxSysEngineering eng = SimDecode<TQvCmdMsgRxSysEngineering>(reply);
        EXPECT_EQ(eng.Status(), s.Status) << s.Name;
        EXPECT_EQ(eng.Action(), s.Action) << s.Name;
        if (std::string(s.Name) == "user flags need no key") {
            const TQvCmdInfo info = rig.Info();
            EXPECT_EQ(+info.Hardware.FlagsUser, 0x5555);
            EXPECT_EQ(+info.Hardware.PartNumber, 1520) << "the refused hardware write changed nothing";
        }
    }
    const TQvCmdInfo info = rig.Info();
    EXPECT_EQ(+info.Hardware.PartNumber, 4321);
    EXPECT_EQ(+info.Hardware.PartRevision, 9);
    EXPECT_EQ(+info.Hardware.SerialNumber, 777u);
    EXPECT_EQ(+info.Hardware.FlagsSys, 0x0F0F);
    const TQvCmdConfig config = SimDecode<TQvCmdMsgRxConfigGet>(rig.Ask(SimConfigRequest())).Config();
    EXPECT_TRUE(config.UsblCal.Valid);
    for (size_t i = 0; i < 24; ++i)
        EXPECT_EQ(+config.UsblCal.Baseline[i], +cal.Baseline[i]) << i;
}

TEST(SimBeacon, TruncatedRequestsAreRefusedWithParamMissing)
{
    struct TCase {
        std::vector<uint8_t> Bytes;
        uint8_t Status;
    };
    const std::vector<TCase> cases = {
        {{0x0D, 0x01, 0x00}, CST_CMD_PARAM_MISSING},       // initialisation without its fields
        {{0x04}, CST_CMD_PARAM_MISSING},                   // engineering without an action
        {{0x04, 0x03, 0x55}, CST_CMD_PARAM_MISSING},       // user flags one byte short
    };
    for (const TCase& c : cases) {
        TSimRig rig;
        EXPECT_EQ(SimStatusOf(rig.Ask(TQvSimLine::Encode('#', c.Bytes))), c.Status);
    }
    // A block announcing more data than it carries is a data error.
    TSimRig rig;
    rig.Ask(SimInitRequest(SimInitFor(SimTestImage(64))));
    EXPECT_EQ(SimStatusOf(rig.Ask(TQvSimLine::Encode('#', {0x0E, 0x10, 0x00, 0x01, 0x02}))), CST_PROG_DATA_ERROR);
}

TEST(SimBeacon, CommandsSentBackToBackAreAnsweredInOrder)
{
    TSimRig rig;
    rig.Send(SimEngRequest(1, "SEAFLOOR") + SimEngRequest(2, "", {1, 2, 3, 4, 5}) + SimEngRequest(32) + SimInfoRequest()
             + SimConfigRequest());
    const std::vector<std::string> lines = rig.Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(SimDecode<TQvCmdMsgRxSysEngineering>(lines[0]).Action(), 1);
    EXPECT_EQ(SimDecode<TQvCmdMsgRxSysEngineering>(lines[1]).Action(), 2);
    EXPECT_EQ(SimDecode<TQvCmdMsgRxSysEngineering>(lines[2]).Action(), 32);
    EXPECT_EQ(+SimDecode<TQvCmdMsgRxSysInfo>(lines[3]).Info().Hardware.SerialNumber, 3u);
    EXPECT_EQ(lines[4].substr(0, 3), "$1A");
}

TEST(SimBeacon, PacingHoldsRequestAndReplyToTheirLineTime)
{
    TQvSimConfig config;
    config.Baud = 9600; // 10 bits a character: 1.0417 ms each
    TSimRig rig(config);
    rig.Send(SimInfoRequest());          // 9 characters; the CR (8th) ends the line at 8.3 ms
    EXPECT_TRUE(rig.Out.empty());
    // The reply's 85 characters take 88.5 ms more: complete at about 96.9 ms.
    rig.Clock.Advance(60);
    EXPECT_GT(rig.Out.size(), 0u);
    EXPECT_LT(rig.Out.size(), 85u);
    rig.Clock.Advance(34);
    EXPECT_LT(rig.Out.size(), 85u);
    rig.Clock.Advance(4);
    EXPECT_EQ(rig.Out.size(), 85u);
    EXPECT_EQ(rig.Lines().size(), 1u);
}

TEST(SimBeacon, StateFileFollowsEveryStoredChange)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qv_sim_state_follow";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "beacon.state").string();
    std::filesystem::remove(path);
    TQvSimConfig config;
    config.StateFile = path;
    config.RebootMs = 0;
    TSimRig rig(config);
    rig.Ask(SimEngRequest(3, "", {0, 0, 0, 0, 0x4242}));
    TQvSimState saved = TQvSimState::Defaults();
    std::string error;
    ASSERT_TRUE(saved.LoadFile(path, error)) << error;
    EXPECT_EQ(saved.Hardware.FlagsUser, 0x4242);

    const std::vector<uint8_t> image = SimTestImage(300);
    ASSERT_EQ(rig.Program(image), CST_OK);
    ASSERT_TRUE(saved.LoadFile(path, error)) << error;
    EXPECT_TRUE(saved.App.Valid);
    EXPECT_EQ(saved.App.Checksum, TCvCrc::Crc32(image));
    std::filesystem::remove_all(dir);
}
